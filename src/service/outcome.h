// The outcome of a job: the mapping from the transmission's document status
// and the texts shown to the operator and written for the host.
#pragma once

#include <cstdint>
#include <string>

namespace service {

// Job outcomes besides the card payment's own (-200 to -203).
enum Outcome : int16_t {
  kOutcomeOk = 0,
  kOutcomeNegativeTotal = -1,
  kOutcomeReceiptOpen = -2,
  kOutcomeCoverOpen = -3,
  kOutcomeTimedOut = -4,
  kOutcomePrinterError = -5,
  kOutcomeJournalFull = -7,
  kOutcomeJournalNearlyFull = -8,
  kOutcomeFiscalMemoryFull = -9,
  kOutcomeBufferFull = -10,
  kOutcomeRtRefused = -12,
  kOutcomeFiscalClosingNeeded = -13,
  kOutcomeNoInputFile = -14,
  kOutcomeControlByte = -15,
  kOutcomeNothingToPrint = -16,
  kOutcomeNegativeVat = -29,
  kOutcomeError99 = -99,
  kOutcomeNoDataFile = -100,
};

// Outcome of a document status of the transmission (0 to 14, 29, 99).
int16_t OutcomeOfTransmission(int16_t status);

// The text after "QUILO1 TERMINATO : " for an outcome.
std::string OutcomeDisplayText(int16_t outcome, const std::string& errorDetail);
// The SR_ERR message of a failed outcome; empty for 0.
std::string OutcomeErrorMessage(int16_t outcome, const std::string& errorDetail);

}  // namespace service
