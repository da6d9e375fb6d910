// Document transmission: the converted document sent to the printer line by
// line, with the pseudo-commands, the receipt stamp, the payment summary,
// the change and the end of the document.
#pragma once

#include <cstdint>
#include <functional>
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

// A document ready for the printer: its native commands, one a line, and
// what the conversion found in it.
struct NativeDocument {
  std::vector<std::string> commands;
  language::ReceiptFacts facts;
};

// Where the transmission takes its document from: asked again for every
// attempt (an SR_OUT that cannot be created sends it back to the start).
// False on a conversion error; nothing is sent then.
class DocumentSource {
 public:
  virtual ~DocumentSource() = default;
  virtual bool Prepare(NativeDocument* document) = 0;
};

struct TransmissionContext {
  bool rtMode = false;
  char decimalSeparator = '.';  // of the display amounts
  // The port's SR_OUT, replaced by every document.
  std::string outPath;
  // A "READ" line writes its daily totals only inside the data directory
  // or one of these folders; any other target ends the document.
  std::string dataDir;
  std::vector<std::string> readAllowedDirs;
  ProgramVersion version;
  // Writes a message into the port's SR_ERR (the paper-end notice).
  std::function<void(const std::string&)> writeErrFile;
  // Message boxes ("ERRORE3 = ...").
  std::function<void(const std::string&)> message;
};

// Sends one document; returns the document status (0 to 14, 29 or 99) and,
// with 99, the printer's description of the error. SR_OUT and the daily
// totals are written through `fs`.
int16_t DoSendFile(EcrLink& link, platform::FileSystem& fs, DocumentSource& source, const TransmissionContext& ctx,
                   std::string* errorDetail);

// The lines of a native command text, each ended by CR LF, LF or CR.
std::vector<std::string> CommandLines(const std::string& text);

// The 40 characters after "7007": the name in 20 characters, then blanks,
// the character 127, a blank and the amount, together 20 characters.
std::string PaymentLine(const std::string& name, const std::string& amountText);

// A "MOST" (surcharge) or "DOST" (discount) line on the subtotal: 0, or -1
// when the percentage is not a number or an exchange failed.
int16_t SubtotalAdjustment(EcrLink& link, const std::string& line);

}  // namespace ecr
