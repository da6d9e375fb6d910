// The finished jobs as the web console lists them, and its documents over
// HTTP handed to the service's actions, their answers in the console's shape.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "service/console/jobs.h"
#include "platform/event_loop.h"
#include "service/job_runner.h"
#include "service/journal.h"
#include "service/operator_actions.h"

namespace service {

// Jobs the list keeps, as the journal does.
inline constexpr size_t kConsoleJobs = 1000;

// A job of the journal as the console lists it (no duration is recorded);
// `time` is the start's wall time read as local time.
console::JobRecord JobRecordOf(const JobSummary& job);

// The API's answer to a job.
console::SubmitResult SubmitResultOf(const FinishedJob& end);

class JobHistory : public console::JobDesk {
 public:
  // `history`: the journal's jobs, oldest first.
  JobHistory(platform::EventLoop& loop, OperatorActions& actions, const std::vector<JobSummary>& history);

  // Every job that ended, however it came; `finished` is told of each.
  void Finished(const FinishedJob& job);
  void SetFinishedHook(std::function<void(const console::JobRecord&)> finished) { finished_ = std::move(finished); }

  std::vector<console::JobRecord> Jobs(int limit) override;
  void SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                 std::function<void(const console::SubmitResult&)> done) override;

 private:
  platform::EventLoop& loop_;
  OperatorActions& actions_;
  std::deque<console::JobRecord> jobs_;  // newest first
  std::function<void(const console::JobRecord&)> finished_;
};

}  // namespace service
