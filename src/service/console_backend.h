// The job service as the web console sees it: a status view that keeps the
// latest of what the window was told, the finished jobs, and the console's
// documents and actions handed to the service, all on the service's loop.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "console/console_backend.h"
#include "platform/event_loop.h"
#include "service/job_service.h"
#include "service/journal.h"
#include "service/status_view.h"

namespace service {

// Every call to both views, in order: the window or the log first.
class StatusViewPair : public StatusView {
 public:
  StatusViewPair(StatusView& first, StatusView& second) : a_(first), b_(second) {}
  void PrinterMessage(const std::string& t) override { a_.PrinterMessage(t), b_.PrinterMessage(t); }
  void ProgramStatus(int16_t p, const std::string& t) override { a_.ProgramStatus(p, t), b_.ProgramStatus(p, t); }
  void DetectionStatus(const std::string& t) override { a_.DetectionStatus(t), b_.DetectionStatus(t); }
  void Busy(bool busy, const std::string& tip) override { a_.Busy(busy, tip), b_.Busy(busy, tip); }
  void PortAvailable(int16_t p, bool a) override { a_.PortAvailable(p, a), b_.PortAvailable(p, a); }
  void PortBox(int16_t p, bool t, bool e) override { a_.PortBox(p, t, e), b_.PortBox(p, t, e); }
  void DumpState(int16_t p, const std::string& t) override { a_.DumpState(p, t), b_.DumpState(p, t); }
  void PrinterSerial(int16_t p, const std::string& s) override { a_.PrinterSerial(p, s), b_.PrinterSerial(p, s); }
  void DataDirectory(const std::string& d) override { a_.DataDirectory(d), b_.DataDirectory(d); }
  void WatcherStarted() override { a_.WatcherStarted(), b_.WatcherStarted(); }
  void TimerControls(bool v, const std::string& t) override { a_.TimerControls(v, t), b_.TimerControls(v, t); }
  void DetectionSettings(bool f, const std::string& t) override { a_.DetectionSettings(f, t), b_.DetectionSettings(f, t); }
  void ConfigurationLocked(bool l) override { a_.ConfigurationLocked(l), b_.ConfigurationLocked(l); }
  void TestButtonEnabled(bool e) override { a_.TestButtonEnabled(e), b_.TestButtonEnabled(e); }
  void ClosingNotice(const std::string& t) override { a_.ClosingNotice(t), b_.ClosingNotice(t); }
  void MessageBox(const std::string& t) override { a_.MessageBox(t), b_.MessageBox(t); }
  void OptionsChanged(const settings::Options& o, bool rt) override { a_.OptionsChanged(o, rt), b_.OptionsChanged(o, rt); }
  void Log(const std::string& t) override { a_.Log(t), b_.Log(t); }

 private:
  StatusView& a_;
  StatusView& b_;
};

// Jobs the list keeps, as the journal does.
inline constexpr size_t kConsoleJobs = 1000;

// A job of the journal as the console lists it (no duration is recorded);
// `time` is the start's wall time read as local time.
console::JobRecord JobRecordOf(const JobSummary& job);

// The API's answer to a job.
console::SubmitResult SubmitResultOf(const FinishedJob& end);

class ConsoleBackendService : public console::ConsoleBackend, public StatusView {
 public:
  // `rtPrinter` tells whether the identified printer is an RT one.
  ConsoleBackendService(platform::EventLoop& loop, const settings::Settings& settings, std::function<bool()> rtPrinter);
  ~ConsoleBackendService() override;

  // Once the service has started: `view` is the one the service calls (this
  // one among others), `history` the journal's jobs, oldest first.
  void Attach(JobService& service, StatusView& view, const std::vector<JobSummary>& history);
  void SetEvents(console::ConsoleEvents* events) { events_ = events; }

  // console::ConsoleBackend
  console::ConsoleStatus Status() override;
  std::vector<console::JobRecord> Jobs(int limit) override;
  void SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                 std::function<void(const console::SubmitResult&)> done) override;
  console::ActionResult TestReceipt() override;
  console::ActionResult CancelReceipt() override;
  console::ActionResult SetFastDetection(bool fast) override;
  console::ActionResult SetTimer(const std::string& typedText) override;
  console::ActionResult SetPort(int port, bool ticked) override;

  // StatusView: the latest state kept, the console told.
  void PrinterMessage(const std::string& text) override;
  void ProgramStatus(int16_t port, const std::string& text) override;
  void DetectionStatus(const std::string& text) override;
  void Busy(bool busy, const std::string& tip) override { Changed(); }
  void PortAvailable(int16_t port, bool available) override;
  void PortBox(int16_t port, bool ticked, bool enabled) override;
  void DumpState(int16_t port, const std::string& text) override;
  void PrinterSerial(int16_t port, const std::string& serial) override;
  void DataDirectory(const std::string& path) override;
  void WatcherStarted() override { Changed(); }
  void TimerControls(bool visible, const std::string& timerText) override { Changed(); }
  void DetectionSettings(bool fast, const std::string& timerText) override { Changed(); }
  void ConfigurationLocked(bool locked) override;
  void TestButtonEnabled(bool enabled) override;
  void ClosingNotice(const std::string& text) override;
  void MessageBox(const std::string& text) override;
  void OptionsChanged(const settings::Options& options, bool rtPrinter) override { Changed(); }
  void Log(const std::string& text) override {}

 private:
  // StatusChanged once per turn of the loop, however many calls came.
  void Changed();
  void Finished(const FinishedJob& job);
  // Runs an operator action, with the messages it showed meanwhile.
  console::ActionResult Capture(const std::function<void()>& action);

  platform::EventLoop& loop_;
  const settings::Settings& settings_;
  std::function<bool()> rtPrinter_;
  JobService* service_ = nullptr;
  StatusView* view_ = nullptr;
  console::ConsoleEvents* events_ = nullptr;
  console::ConsoleStatus status_;
  bool testButton_ = true;
  std::deque<console::JobRecord> jobs_;  // newest first
  int changeTimer_ = 0;
  std::vector<int> pending_;  // timers of answers not yet delivered
  std::string* captured_ = nullptr;
};

}  // namespace service
