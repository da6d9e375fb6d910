// The console's jobs: a finished job as the list and the metrics show it, a
// document's answer, and what the console asks of the job service for them.
// The state and the operator's actions come from the service's own headers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace console {

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

class JobDesk {
 public:
  virtual ~JobDesk() = default;
  // The last `limit` jobs, newest first.
  virtual std::vector<JobRecord> Jobs(int limit) = 0;
  // Queues a document for `port` (0: the service picks an available port).
  // `done` runs once, from the event loop, when the printer has answered or
  // the job was refused; never from inside SubmitJob.
  // With an `idempotencyKey` (empty: none), a document sent again with the
  // same key is answered as the first was and never printed twice.
  virtual void SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                         std::function<void(const SubmitResult&)> done) = 0;
};

}  // namespace console
