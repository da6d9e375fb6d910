// The web console's side of the job service: the state it shows, the job
// list, documents over HTTP and the operator's actions.
#include "service/console_backend.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "language/language.h"
#include "service/version.h"
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

ConsoleBackendService::ConsoleBackendService(platform::EventLoop& loop, const settings::Settings& settings,
                                             std::function<bool()> rtPrinter)
    : loop_(loop), settings_(settings), rtPrinter_(std::move(rtPrinter)) {
  for (int n = 1; n <= 4; ++n) status_.ports[n - 1].port = n;
  status_.version = VersionText();
}

ConsoleBackendService::~ConsoleBackendService() {
  if (changeTimer_) loop_.CancelTimer(changeTimer_);
}

void ConsoleBackendService::Attach(JobService& service, StatusView& view, const std::vector<JobSummary>& history) {
  service_ = &service;
  view_ = &view;
  for (const JobSummary& job : history)
    if (job.step >= JournalStep::kOutcomeWritten) jobs_.push_front(JobRecordOf(job));
  while (jobs_.size() > kConsoleJobs) jobs_.pop_back();
  service.SetFinishedHook([this](const FinishedJob& job) { Finished(job); });
}

void ConsoleBackendService::Changed() {
  if (!events_ || changeTimer_) return;
  changeTimer_ = loop_.AddTimer(0, [this] {
    changeTimer_ = 0;
    if (events_) events_->StatusChanged();
  });
}

void ConsoleBackendService::Finished(const FinishedJob& job) {
  console::JobRecord r;
  r.time = static_cast<int64_t>(std::time(nullptr));
  r.port = job.port;
  r.outcomeCode = job.code;
  r.outcomeText = job.text;
  r.receiptNumber = job.receiptNumber;
  r.durationMs = job.durationMs;
  jobs_.push_front(r);
  if (jobs_.size() > kConsoleJobs) jobs_.pop_back();
  if (events_) events_->JobFinished(r);
  Changed();
}

console::ConsoleStatus ConsoleBackendService::Status() {
  console::ConsoleStatus s = status_;
  for (int n = 1; n <= 4; ++n) s.ports[n - 1].ticked = settings_.portEnabled[n - 1];
  s.fastDetection = settings_.options.OptionFAST;
  s.timerText = settings_.timerText;
  s.intervalMs = settings_.pollInterval;
  s.testEnabled = status_.configurationLocked && testButton_;
  if (service_) {
    const PrinterQueue& queue = service_->queue();
    s.runningPort = queue.RunningPort();
    s.runningUnit = queue.Running();
    s.queued = static_cast<int>(queue.Queued());
    s.journalRecoveries = service_->recoveries();
    s.paperEndWaits = service_->paperEndWaits();
  }
  return s;
}

std::vector<console::JobRecord> ConsoleBackendService::Jobs(int limit) {
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

void ConsoleBackendService::SubmitJob(int port, const std::string& document, const std::string& idempotencyKey,
                                      std::function<void(const console::SubmitResult&)> done) {
  if (!service_) return;
  service_->SubmitDocument(
      static_cast<int16_t>(port), document,
      [this, done](const FinishedJob& end) {
        const console::SubmitResult r = SubmitResultOf(end);
        // Never from inside SubmitJob, and never inside the job's unit of work.
        loop_.AddTimer(0, [done, r] { done(r); });
      },
      idempotencyKey);
  Changed();
}

console::ActionResult ConsoleBackendService::Capture(const std::function<void()>& action) {
  std::string text;
  std::string* outer = captured_;
  captured_ = &text;
  action();
  captured_ = outer;
  return {text.empty(), text};
}

console::ActionResult ConsoleBackendService::TestReceipt() {
  if (!service_) return {false, ""};
  return Capture([this] { service_->ConsoleTestReceipt(); });
}

console::ActionResult ConsoleBackendService::CancelReceipt() {
  if (!service_) return {false, ""};
  return Capture([this] { service_->CancelReceipt(); });
}

console::ActionResult ConsoleBackendService::SetFastDetection(bool fast) {
  if (!service_) return {false, ""};
  // A click on the mode already chosen does nothing, as in the window.
  if (fast == settings_.options.OptionFAST) return {};
  return Capture([this, fast] {
    fast ? service_->SelectFastDetection() : service_->SelectTimerDetection();
    // The window's radio buttons follow the page's.
    view_->DetectionSettings(settings_.options.OptionFAST, settings_.timerText);
  });
}

console::ActionResult ConsoleBackendService::SetTimer(const std::string& typedText) {
  if (!service_) return {false, ""};
  return Capture([this, &typedText] {
    service_->SetTimerValue(typedText);
    view_->DetectionSettings(settings_.options.OptionFAST, settings_.timerText);
  });
}

console::ActionResult ConsoleBackendService::SetPort(int port, bool ticked) {
  if (!service_) return {false, ""};
  const console::PortStatus& p = status_.ports[port - 1];
  if (!p.available || !p.enabled) return {false, "Porta COM" + std::to_string(port) + " non disponibile"};
  return Capture([this, port, ticked] {
    service_->SetPortEnabled(static_cast<int16_t>(port), ticked);
    // The window's box follows the page's.
    view_->PortBox(static_cast<int16_t>(port), ticked, true);
  });
}

void ConsoleBackendService::PrinterMessage(const std::string& text) {
  status_.printerMessage = text;
  if (captured_ && !text.empty()) *captured_ += (captured_->empty() ? "" : "\n") + text;
  Changed();
}

void ConsoleBackendService::ProgramStatus(int16_t port, const std::string& text) {
  status_.programStatus = text;
  Changed();
}

void ConsoleBackendService::DetectionStatus(const std::string& text) {
  status_.detectionText = text;
  Changed();
}

void ConsoleBackendService::PortAvailable(int16_t port, bool available) {
  if (port < 1 || port > 4) return;
  status_.ports[port - 1].available = available;
  if (!available) status_.ports[port - 1].enabled = false;
  Changed();
}

void ConsoleBackendService::PortBox(int16_t port, bool ticked, bool enabled) {
  if (port < 1 || port > 4) return;
  status_.ports[port - 1].ticked = ticked;
  status_.ports[port - 1].enabled = enabled;
  Changed();
}

void ConsoleBackendService::DumpState(int16_t port, const std::string& text) {
  if (port < 1 || port > 4) return;
  status_.ports[port - 1].dumpState = text;
  Changed();
}

void ConsoleBackendService::PrinterSerial(int16_t port, const std::string& serial) {
  if (port < 1 || port > 4) return;
  status_.ports[port - 1].serial = serial;
  status_.ports[port - 1].mode = serial.empty() ? "" : rtPrinter_ && rtPrinter_() ? "RT" : "MF";
  Changed();
}

void ConsoleBackendService::DataDirectory(const std::string& path) {
  status_.dataDirectory = path;
  Changed();
}

void ConsoleBackendService::ConfigurationLocked(bool locked) {
  status_.configurationLocked = locked;
  Changed();
}

void ConsoleBackendService::TestButtonEnabled(bool enabled) {
  testButton_ = enabled;
  Changed();
}

void ConsoleBackendService::ClosingNotice(const std::string& text) {
  status_.programStatus = text;
  Changed();
}

void ConsoleBackendService::MessageBox(const std::string& text) {
  if (captured_) *captured_ += (captured_->empty() ? "" : "\n") + text;
  if (events_) events_->Message(text);
}

}  // namespace service
