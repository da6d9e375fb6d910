// The job service: the three parts (detection, the job runner, the
// operator's actions) around one queue that owns the printer link, with the
// start-up of the ports, the dumps and the closing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "service/detection.h"
#include "service/exchange_files.h"
#include "service/job_runner.h"
#include "service/journal.h"
#include "service/operator_actions.h"
#include "service/printer_queue.h"
#include "service/recovery.h"
#include "service/service_parts.h"

namespace service {

// Documents from the console's API waiting per port; more are refused, to
// be sent again later.
inline constexpr size_t kMaxWaitingDocuments = 8;

class JobService : public OperatorActions, private ExchangeFiles::Owner, private Detection::Owner {
 public:
  explicit JobService(const ServiceParts& parts);
  ~JobService() override;

  // Probes the ports, deletes their stale files and starts Timer21; returns
  // the jobs the journal held, for the console's list.
  std::vector<JobSummary> Start(const std::string& dataDir);

  ActionResult SetPortEnabled(int16_t port, bool ticked) override;
  ActionResult SetFastDetection(bool fast) override;
  ActionResult SetTimerValue(const std::string& typedText) override;
  ActionResult SetOption(bool settings::Options::*option, bool value) override;
  ActionResult ViewShown(bool shown) override;
  ActionResult TestReceipt() override;
  ActionResult CancelReceipt() override;
  // A document that came over HTTP, run as a job on the port's queue like an
  // exchange-file job, with its answer files private (HTTP_SR_OUT.001 ...):
  // the host's files are never touched. With kMaxWaitingDocuments of them
  // waiting for the port, the document is refused at once (`queueFull`).
  // With an `idempotencyKey`, the first request with that key runs; the
  // same key and document again gets that job's answer once it has one
  // (never a second job), another document `keyConflict`. Keys hold across a
  // restart through the journal, for the last kKeepJobs jobs.
  void SubmitDocument(int16_t port, const std::string& bytes, std::function<void(const FinishedJob&)> done,
                      const std::string& idempotencyKey = "") override;
  // Told of every job that ends.
  void SetFinishedHook(std::function<void(const FinishedJob&)> hook) { runner_.SetFinishedHook(std::move(hook)); }
  // Closing: clean when idle, otherwise the running exchange is abandoned.
  void Unload() override;
  bool Finished() const override { return finished_; }

  // For the tests: the parts and the link's queue.
  Detection& detection() { return detection_; }
  PrinterQueue& queue() { return queue_; }

 private:
  friend class JobServiceTest;
  // Detection::Owner
  bool Occupied() override { return queue_.Busy() || detection_.unloading; }
  void RunDump(int16_t port) override;
  void RunJob(int16_t port) override;
  // ExchangeFiles::Owner
  std::string LastErrorCode() override { return parts_.printer.LastErrorCode(); }
  void FatalFileError() override;
  void Log(const std::string& text) override { parts_.view.Log(text); }

  // Opens the journal, moved from where an older version kept it, and reads it.
  JournalContents OpenJournal();
  // One host's file job as a unit of work.
  void Job(int16_t port);
  // The steps every job shares, from the screen's "in corso" to its outcome:
  // a host's job (`answerFiles` null: the port's exchange files), a document
  // from the API and the test receipt (their private files).
  FinishedJob RunJobUnit(int16_t port, const JobDocument& doc, bool asIs, ExchangeFiles* answerFiles);
  // A document from memory on the port's queue, answered through the
  // private files (HTTP_SR_OUT.001 ...), never the host's; `asIs` for the
  // test receipt, already in the printer's commands.
  FinishedJob RunFromMemory(int16_t port, const std::string& bytes, bool asIs, const std::string& key = "");
  // The answer of a keyed job, to its request and those waiting on its key.
  void SettleKey(const std::string& key, const FinishedJob& end);
  // Start-up: the keys of the journal's jobs, answered or waiting for the
  // recovery of their port.
  void LoadKeys(const std::vector<JobSummary>& jobs);
  // The recovery wrote the outcome of a job cut off: its key is answered.
  void SettleRecoveredKey(uint64_t job, const std::string& outcome);
  void Dump(int16_t port);
  // The end of a dump: SR_MATR or SR_ERR, the other ports, the window.
  void DumpDone(int16_t port, int16_t result);
  bool PortAvailable(int16_t port) const;
  // A served port is identified, ticked and available.
  bool Served(int16_t port) const;
  // The served port, the lowest or the highest; 0 when none.
  int16_t ServedPort(bool highest) const;
  // An operator's unit that has to wait shows it.
  ActionResult SubmitAction(int16_t port, const std::string& name, PrinterQueue::Unit unit);

  ServiceParts parts_;
  ExchangeFiles files_;
  ExchangeFiles httpFiles_;
  Detection detection_;
  JobRunner runner_;
  Recovery recovery_;
  PrinterQueue queue_;
  std::unique_ptr<Journal> journal_;
  // Documents that came with an Idempotency-Key, by key.
  struct KeyedJob {
    std::string sha256;
    uint64_t job = 0;  // 0 until its job starts
    JobSummary journal{};  // a job of the journal: what it recorded
    bool answered = false;
    FinishedJob answer;
    std::vector<std::function<void(const FinishedJob&)>> waiting;
  };
  // Answers the request and those waiting on the key.
  void Answer(KeyedJob& k, const FinishedJob& end);
  std::map<std::string, KeyedJob> keys_;
  bool endAfterUnit_ = false;
  bool finished_ = false;
};

}  // namespace service
