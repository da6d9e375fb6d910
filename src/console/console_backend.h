// What the local web console asks of the job service, and the hook through
// which the service tells the console that something changed. The service
// implements ConsoleBackend; the console implements ConsoleEvents.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace console {

struct PortStatus {
  int port = 0;            // 1 to 4
  bool available = false;  // the window's green indicator
  bool ticked = false;     // port box ticked
  bool enabled = true;     // port box may be changed
  std::string dumpState;   // "DUMP ESEGUITO", "DUMP NON ESEGUITO", a failed dump's text, or empty
  std::string serial;      // identified printer's serial number, empty when none
  std::string mode;        // "RT", "MF" or empty
};

// One snapshot of what the window would show. Texts are Windows-1252 bytes.
struct ConsoleStatus {
  std::array<PortStatus, 4> ports;
  bool fastDetection = false;   // "Notifica (Fast)" rather than "Timer    (Slow)"
  std::string timerText;        // the interval field's text
  int64_t intervalMs = 0;       // the polling interval in force
  std::string detectionText;    // "PRONTO", "Timer ON", ...
  std::string printerMessage;   // "Messaggi ECR :"
  std::string programStatus;    // "Stato  Quil1 :"
  std::string dataDirectory;
  bool configurationLocked = false;
  bool testEnabled = false;     // " Esegui Test" may be pressed
  int runningPort = 0;          // port of the unit of work running, 0 for none
  std::string runningUnit;      // what it is ("scontrino", "dump", ...), empty for none
  int queued = 0;               // units of work waiting
  uint64_t paperEndWaits = 0;   // since start
  uint64_t journalRecoveries = 0;
  std::string version;
};

// One finished job, for the list and the metrics.
struct JobRecord {
  int64_t time = 0;          // end, seconds since 1970 (UTC)
  int port = 0;
  std::string outcomeCode;   // "ok", or the message's code: "E503"
  std::string outcomeText;   // the outcome's text as the window shows it
  std::string receiptNumber; // empty when none was printed
  int64_t durationMs = 0;
};

struct SubmitResult {
  bool ok = false;
  // ok: the receipt's fields ("number", "date", "time", ...) and SR_OUT's
  // lines; no fields when the job closed no receipt of its own.
  std::vector<std::pair<std::string, std::string>> receipt;
  std::vector<std::string> out;
  // not ok: "E503" and the SR_ERR line.
  std::string code;
  std::string message;
  // > 0: refused unsent because the port's queue is full; worth sending
  // again after that many seconds.
  int retryAfterS = 0;
  // Refused unsent: its Idempotency-Key came before with another document.
  bool conflict = false;
};

// What an operator action answered: the message box the window would show
// (empty for none); `ok` false when the action was refused.
struct ActionResult {
  bool ok = true;
  std::string message;
};

class ConsoleBackend {
 public:
  virtual ~ConsoleBackend() = default;
  virtual ConsoleStatus Status() = 0;
  // The last `limit` jobs, newest first.
  virtual std::vector<JobRecord> Jobs(int limit) = 0;
  // Queues a document for `port` (0: the service picks an available port).
  // `done` runs once, from the event loop, when the printer has answered or
  // the job was refused; never from inside SubmitJob.
  // With an `idempotencyKey` (empty: none), a document sent again with the
  // same key is answered as the first was and never printed twice.
  virtual void SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                         std::function<void(const SubmitResult&)> done) = 0;
  // " Esegui Test", "Annulla Scontrino", "Notifica (Fast)" / "Timer    (Slow)",
  // "Set timer" with the typed text, a port box.
  virtual ActionResult TestReceipt() = 0;
  virtual ActionResult CancelReceipt() = 0;
  virtual ActionResult SetFastDetection(bool fast) = 0;
  virtual ActionResult SetTimer(const std::string& typedText) = 0;
  virtual ActionResult SetPort(int port, bool ticked) = 0;
};

// The hook the service calls (from the loop) so open pages update at once.
class ConsoleEvents {
 public:
  virtual ~ConsoleEvents() = default;
  // Anything of ConsoleStatus changed; the console reads Status() again.
  virtual void StatusChanged() = 0;
  // A job ended, however it was submitted.
  virtual void JobFinished(const JobRecord& job) = 0;
  // A message box the window shows.
  virtual void Message(const std::string& text) = 0;
};

}  // namespace console
