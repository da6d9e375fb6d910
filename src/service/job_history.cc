// The console's job list and its documents over HTTP.
#include "service/job_history.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "language/language.h"
#include "settings/document.h"

namespace service {

console::JobRecord JobRecordOf(const JobSummary& job) {
  console::JobRecord r;
  std::tm tm{};
  const std::string& w = job.wall_time;
  if (w.size() == 14 && w.find_first_not_of("0123456789") == std::string::npos) {
    auto n = [&w](size_t at, size_t len) { return std::atoi(w.substr(at, len).c_str()); };
    tm.tm_year = n(0, 4) - 1900, tm.tm_mon = n(4, 2) - 1, tm.tm_mday = n(6, 2);
    tm.tm_hour = n(8, 2), tm.tm_min = n(10, 2), tm.tm_sec = n(12, 2);
    tm.tm_isdst = -1;
    r.time = static_cast<int64_t>(std::mktime(&tm));
  }
  r.port = job.port;
  r.receiptNumber = job.receipt_number;
  if (job.outcome == "FINESCO") {
    r.outcomeCode = "ok";
    r.outcomeText = "TUTTO OK";
  } else {
    r.outcomeCode = OutcomeCode(0, job.outcome);
    r.outcomeText = job.outcome;
  }
  return r;
}

JobHistory::JobHistory(platform::EventLoop& loop, OperatorActions& actions, const std::vector<JobSummary>& history)
    : loop_(loop), actions_(actions) {
  for (const JobSummary& job : history)
    if (job.step >= JournalStep::kOutcomeWritten) jobs_.push_front(JobRecordOf(job));
  while (jobs_.size() > kConsoleJobs) jobs_.pop_back();
}

void JobHistory::Finished(const FinishedJob& job) {
  console::JobRecord r;
  r.time = static_cast<int64_t>(std::time(nullptr));
  r.port = job.port;
  r.outcomeCode = job.code;
  r.outcomeText = job.text;
  r.receiptNumber = job.receiptNumber;
  r.durationMs = job.durationMs;
  jobs_.push_front(r);
  if (jobs_.size() > kConsoleJobs) jobs_.pop_back();
  if (finished_) finished_(r);
}

std::vector<console::JobRecord> JobHistory::Jobs(int limit) {
  const size_t n = std::min(jobs_.size(), static_cast<size_t>(std::max(limit, 0)));
  return {jobs_.begin(), jobs_.begin() + static_cast<std::ptrdiff_t>(n)};
}

console::SubmitResult SubmitResultOf(const FinishedJob& end) {
  console::SubmitResult r;
  r.ok = end.ok;
  if (end.ok) {
    r.out = language::SplitLines(end.out);
    // Only a closing this job sent and got answered: a stamp without one
    // reads the receipt before it.
    if (end.receiptClosed) {
      r.receipt = ReceiptFields(r.out);
      if (r.receipt.empty()) {
        for (const auto& [name, value] : {std::pair{"date", end.receiptDate}, std::pair{"number", end.receiptNumber},
                                          std::pair{"time", end.receiptTime}})
          if (!value.empty()) r.receipt.push_back({name, value});
      }
    }
  } else {
    r.code = end.code;
    r.message = end.errorLine;
    if (end.queueFull) r.retryAfterS = 5;
    r.conflict = end.keyConflict;
  }
  return r;
}

void JobHistory::SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                           std::function<void(const console::SubmitResult&)> done) {
  actions_.SubmitDocument(
      static_cast<int16_t>(port), document,
      [this, done](const FinishedJob& end) {
        const console::SubmitResult r = SubmitResultOf(end);
        // Never from inside SubmitJob, and never inside the job's unit of work.
        loop_.AddTimer(0, [done, r] { done(r); });
      },
      idempotencyKey);
}

}  // namespace service
