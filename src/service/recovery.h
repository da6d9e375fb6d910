// Start-up after a crash or a power cut: the job journal says how far each
// port's last job went, and every job the program took gets a true answer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "service/exchange_files.h"
#include "service/job_runner.h"
#include "service/journal.h"
#include "service/service_parts.h"

namespace service {

class Recovery {
 public:
  // The outcome the recovery wrote for a job cut off (its key is answered).
  using OutcomeHook = std::function<void(uint64_t job, const std::string& outcome)>;
  Recovery(const ServiceParts& parts, ExchangeFiles& files, JobRunner& runner, OutcomeHook outcome)
      : parts_(parts), files_(files), runner_(runner), outcome_(std::move(outcome)) {}

  // Start-up: reads the journal and decides what a job of the port cut off by
  // a crash gets; the stems the start-up must not delete are set.
  void Decide(int16_t port, const JournalContents& contents, std::vector<std::string>* keep);
  // After the printer of the port is identified: the receipt a cut-off job
  // left is cancelled, or found closed, and the host answered. Returns the
  // notice for the operator, empty when there was nothing to settle.
  std::string Finish(int16_t port);
  // A job cut off on the port waits for its printer to be identified.
  bool Pending(int16_t port) const { return pending_[port - 1] != Step::kNone; }
  // Whether the port's SR_ERR is an answer start-up kept or wrote for the
  // host; asked once, after the port's first dump.
  bool TakeAnswerKept(int16_t port) { return std::exchange(answerKept_[port - 1], false); }
  // Jobs settled since the start.
  uint64_t count() const { return count_; }

 private:
  // Keeps a copy of the data file of a job that was cut off.
  void KeepInterruptedDocument(int16_t port);
  void RewriteOutcome(int16_t port, const JobSummary& job);
  void AnswerClosed(int16_t port, const JobSummary& job);
  void AnswerCancelled(int16_t port, const JobSummary& job);
  void Record(uint64_t job, JournalStep step, const std::string& outcome = "");

  const ServiceParts& parts_;
  ExchangeFiles& files_;
  JobRunner& runner_;
  OutcomeHook outcome_;
  // A job was cut off (crash or power cut) on the port: its printer may still
  // hold the receipt open, to be cancelled or found closed before the next job.
  enum class Step { kNone, kCancel, kVerify };
  Step pending_[4] = {Step::kNone, Step::kNone, Step::kNone, Step::kNone};
  JobSummary interrupted_[4];
  // The port's SR_ERR is an answer start-up kept or wrote for the host.
  bool answerKept_[4] = {false, false, false, false};
  // The port's exchange files hold the interrupted job's document.
  bool answerHost_[4] = {true, true, true, true};
  uint64_t count_ = 0;
};

}  // namespace service
