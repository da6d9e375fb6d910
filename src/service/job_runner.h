// One job, from its start file to its answer: the document read once into
// memory, the card payment, the printer, and the outcome in the exchange
// files and on screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "service/exchange_files.h"
#include "service/job_printer.h"
#include "service/journal.h"
#include "service/payment_step.h"
#include "service/status_view.h"
#include "settings/settings_store.h"

namespace service {

// The document of a job as the runner read it.
struct JobDocument {
  std::string bytes;
  std::vector<std::string> lines;
  // A document from the API: its Idempotency-Key (journaled), and one with
  // no line to print is refused unsent.
  std::string idempotencyKey{};
  bool fromApi = false;
};

// How a job ended, for the console's list and the answer to a document
// that came over HTTP.
struct FinishedJob {
  int port = 0;
  bool ok = false;
  std::string code;           // "ok", or the message's code: "E503"
  std::string text;           // what follows "QUILO1 TERMINATO : "
  std::string errorLine;      // the SR_ERR line of a failure
  std::string receiptNumber;  // the closed receipt's number as its stamp says, empty when unknown
  bool receiptClosed = false; // this job sent a closing and got it answered
  // The date and time of the closed receipt's stamp, when known.
  std::string receiptDate, receiptTime;
  int64_t durationMs = 0;
  std::string out;            // SR_OUT of a document that came over HTTP
  bool queueFull = false;     // refused unsent: too many documents wait for the port
  bool keyConflict = false;   // refused unsent: its Idempotency-Key came with another document
};

// The receipt's fields of an SR_OUT: "time", "date" and "number" of its
// "TIME," and "DATE," lines, when it has them.
std::vector<std::pair<std::string, std::string>> ReceiptFields(const std::vector<std::string>& outLines);

// "E503" of "E503: ...", "E12" of "Errore 12 : ...", else "E" and the outcome.
std::string OutcomeCode(int16_t outcome, const std::string& message);

// The log line of a job whose card was charged and whose receipt failed
// starts so; the approval and an advice follow.
inline constexpr char kChargedNotice[] = "Pagamento con carta gi\xE0 addebitato: ";

class JobRunner {
 public:
  JobRunner(platform::FileSystem& fs, platform::Clock& clock, ExchangeFiles& files, JobPrinter& printer,
            const settings::Settings& settings, StatusView& view, PaymentStep* payment)
      : fs_(fs), clock_(clock), files_(files), printer_(printer), settings_(settings), view_(view),
        payment_(payment) {}

  // Reads the port's SR_DATI once. A data file that is missing, not a
  // regular file, too large or unreadable ends the job here with its
  // SR_ERR, and false is returned.
  bool ReadDocument(int16_t port, JobDocument* doc);
  // The job proper (Go_Execution): trace, card payment, printer, slip.
  // `asIs`: the document is native commands already (the test receipt).
  // `files`: where the answer files go, null for the port's exchange files.
  int16_t Execute(int16_t port, const JobDocument& doc, bool asIs, ExchangeFiles* files = nullptr);
  // Whether the running job reached the printer (a closing then leaves its
  // files as they are).
  bool reachedPrinter() const { return reachedPrinter_; }
  // ShowOutcome: the outcome on screen and in the exchange files (unless
  // `exchangeFiles` is false: a document that came over HTTP), each
  // announced in the journal first.
  FinishedJob ShowOutcome(int16_t port, int16_t outcome, bool exchangeFiles = true);
  // Told of every job that ends, however it came.
  void SetFinishedHook(std::function<void(const FinishedJob&)> hook) { finished_ = std::move(hook); }

  // Every job's steps go here; null: no journal.
  void SetJournal(Journal* journal) { journal_ = journal; }
  // Records one step of the running job, or of the job the record names; a
  // journal that cannot be written is reported once, the job goes on.
  void Record(JournalRecord record);
  // The journal's id of the last job that started.
  uint64_t job() const { return job_; }

 private:
  // The closing's answer was lost: a receipt counter that moved on says the
  // receipt came out all the same.
  bool ClosedAfterAll(int16_t port, const ClosingWatch& closing, ExchangeFiles& files);
  // Cancels the receipt this program left open on the printer, as after a
  // crash; false when the printer did not take it (tried again before the
  // next document).
  bool CancelOwnReceipt(int16_t port);
  // The card payment, or the approval the same document got before; the
  // approval is journaled. 0 or the payment's failed outcome.
  int16_t Pay(const JobDocument& doc, const std::string& sha256, const std::string& now);
  // The job's first records: its start and its Idempotency-Key.
  void RecordStart(int16_t port, const JobDocument& doc, const std::string& sha256, const std::string& now);
  // The closing was answered: the receipt's number, date and time as its
  // stamp in SR_OUT tells them.
  void RecordClosingAnswered(int16_t port, ExchangeFiles& files);
  bool OpenTrace();
  void CloseTrace();

  platform::FileSystem& fs_;
  platform::Clock& clock_;
  ExchangeFiles& files_;
  JobPrinter& printer_;
  const settings::Settings& settings_;
  StatusView& view_;
  PaymentStep* payment_;
  std::string errorDetail_;
  // The open trace: its name below the data directory, traceBase_.
  std::string traceBase_;
  std::string traceName_;
  bool reachedPrinter_ = false;
  Journal* journal_ = nullptr;
  uint64_t job_ = 0;
  bool journalFailed_ = false;
  int64_t startMs_ = 0;
  std::string receiptNumber_, receiptDate_, receiptTime_;
  bool receiptClosed_ = false;
  // The port whose printer may still hold a receipt this program opened; 0 none.
  int16_t receiptLeftOpen_ = 0;
  bool cancelled_ = false;  // the running job's receipt was cancelled
  std::string charged_;  // the card approved for this job: ApprovalText
  std::function<void(const FinishedJob&)> finished_;
};

}  // namespace service
