// Document transmission: the converted document sent to the printer line by
// line, with the pseudo-commands, the receipt stamp, the payment summary,
// the change and the end of the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ecr/link.h"
#include "ecr/registers.h"
#include "platform/file_system.h"
#include "language/receipt_facts.h"

namespace ecr {

// How a document ended, as DoSendFile reports it.
enum DocumentStatus : int16_t {
  kDocumentDone = 0,
  kDocumentBufferFull = 1,
  kDocumentNotSent = 2,           // conversion error, unreadable files; paper end while it lasts
  kDocumentPrinterNotReady = 3,
  kDocumentNegativeTotal = 4,
  kDocumentJournalFull = 5,
  kDocumentJournalNearlyFull = 6,
  kDocumentCoverOpen = 7,
  kDocumentFiscalMemoryFull = 8,
  kDocumentPrinterError = 9,
  kDocumentReceiptOpen = 10,
  kDocumentNoAnswer = 11,
  kDocumentRtRefused = 12,
  kDocumentFiscalClosingNeeded = 13,
  kDocumentControlByte = 14,      // a command held a control byte: the rest was not sent
  kDocumentNothingToPrint = 15,   // no line to print: nothing was sent (a document from the API)
  kDocumentNegativeVat = 29,
  kDocumentError99 = 99,
};

// A document ready for the printer: its native commands, one a line, what
// the conversion found in it and which of its commands close the receipt.
struct NativeDocument {
  std::vector<std::string> commands;
  language::ReceiptFacts facts;
  std::vector<size_t> closings;
};

// What happens on the way that the job has to know while it happens.
class TransmissionEvents {
 public:
  virtual ~TransmissionEvents() = default;
  // The paper ran out: the transmission waits for a new roll.
  virtual void PaperEndWait() = 0;
  // The receipt's closing goes out next; `counterBefore` is the receipt
  // counter the printer last told, -1 when unknown. Told once a document.
  virtual void ClosingAboutToBeSent(int counterBefore) = 0;
};

struct TransmissionContext {
  bool rtMode = false;
  char decimalSeparator = '.';  // of the display amounts
  // A "READ" line writes its daily totals only inside the data directory
  // or one of these folders; any other target ends the document.
  std::string dataDir;
  std::vector<std::string> readAllowedDirs;
  ProgramVersion version;
  // The receipt counter the printer last told, -1 when unknown.
  int receiptCounter = -1;
};

// What a document's transmission learned.
struct TransmissionResult {
  int16_t status = kDocumentDone;  // 0 to 14, 29 or 99
  std::string errorDetail;         // the printer's description of error 99
  std::string out;                 // the lines for SR_OUT, each ended by CR LF
  // A line that goes into a receipt went out: the printer may hold a
  // receipt of ours open until its closing is answered.
  bool printed = false;
  bool closingSent = false, closingAnswered = false;
  // The receipt counter the printer last told, -1 when unknown (a receipt
  // closed or the day's counters reset since).
  int receiptCounter = -1;
};

// Sends one document. The daily totals of a "READ" line are written
// through `fs`; SR_OUT is the caller's to write.
TransmissionResult DoSendFile(EcrLink& link, platform::FileSystem& fs, const NativeDocument& doc,
                              const TransmissionContext& ctx, TransmissionEvents& events);

// The 40 characters after "7007": the name in 20 characters, then blanks,
// the character 127, a blank and the amount, together 20 characters.
std::string PaymentLine(const std::string& name, const std::string& amountText);

}  // namespace ecr
