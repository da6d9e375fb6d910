// The outcome of a job: the mapping from the transmission's document status
// and the texts shown to the operator and written for the host.
#pragma once

#include <cstdint>
#include <string>

namespace service {

// Outcome of a document status of the transmission (0 to 13, 29, 99).
int16_t OutcomeOfTransmission(int16_t status);

// The text after "QUILO1 TERMINATO : " for an outcome.
std::string OutcomeDisplayText(int16_t outcome, const std::string& errorDetail);
// The SR_ERR message of a failed outcome; empty for 0.
std::string OutcomeErrorMessage(int16_t outcome, const std::string& errorDetail);

}  // namespace service
