// The service's thread, the status calls it posts to the window and the
// operator actions the window queues to it.
#include "service/window/service_thread.h"

#include <exception>

#include "ecr/dump.h"

namespace service::window {

ServiceView::ServiceView(MainWindow& window, ProgramLog& log)
    : window_(window), log_(log), console_([&log](const std::string& line) { log.Write(line); }) {}

// Each call: the log line on this thread, the window's part copied into a
// closure for the window thread.
void ServiceView::PrinterMessage(const std::string& text) {
  console_.PrinterMessage(text);
  window_.Post([w = &window_, text] { w->PrinterMessage(text); });
}
void ServiceView::ProgramStatus(int16_t port, const std::string& text) {
  console_.ProgramStatus(port, text);
  window_.Post([w = &window_, port, text] { w->ProgramStatus(port, text); });
}
void ServiceView::DetectionStatus(const std::string& text) {
  console_.DetectionStatus(text);
  window_.Post([w = &window_, text] { w->DetectionStatus(text); });
}
void ServiceView::Busy(bool busy, const std::string& tip) {
  console_.Busy(busy, tip);
  window_.Post([w = &window_, busy, tip] { w->Busy(busy, tip); });
}
void ServiceView::PortAvailable(int16_t port, bool available) {
  console_.PortAvailable(port, available);
  window_.Post([w = &window_, port, available] { w->PortAvailable(port, available); });
}
void ServiceView::PortBox(int16_t port, bool ticked, bool enabled) {
  console_.PortBox(port, ticked, enabled);
  window_.Post([w = &window_, port, ticked, enabled] { w->PortBox(port, ticked, enabled); });
}
void ServiceView::DumpState(int16_t port, const std::string& text) {
  console_.DumpState(port, text);
  window_.Post([w = &window_, port, text] { w->DumpState(port, text); });
}
void ServiceView::PrinterSerial(int16_t port, const std::string& serial) {
  console_.PrinterSerial(port, serial);
  window_.Post([w = &window_, port, serial] { w->PrinterSerial(port, serial); });
}
void ServiceView::DataDirectory(const std::string& path) {
  log_.SetDirectory(path);
  console_.DataDirectory(path);
  window_.Post([w = &window_, path] { w->DataDirectory(path); });
}
void ServiceView::WatcherStarted() {
  console_.WatcherStarted();
  window_.Post([w = &window_] { w->WatcherStarted(); });
}
void ServiceView::TimerControls(bool visible, const std::string& timerText) {
  console_.TimerControls(visible, timerText);
  window_.Post([w = &window_, visible, timerText] { w->TimerControls(visible, timerText); });
}
void ServiceView::DetectionSettings(bool fast, const std::string& timerText) {
  console_.DetectionSettings(fast, timerText);
  window_.Post([w = &window_, fast, timerText] { w->DetectionSettings(fast, timerText); });
}
void ServiceView::ConfigurationLocked(bool locked) {
  console_.ConfigurationLocked(locked);
  window_.Post([w = &window_, locked] { w->ConfigurationLocked(locked); });
}
void ServiceView::TestButtonEnabled(bool enabled) {
  console_.TestButtonEnabled(enabled);
  window_.Post([w = &window_, enabled] { w->TestButtonEnabled(enabled); });
}
void ServiceView::OptionsChanged(const settings::Options& options, bool rtPrinter) {
  console_.OptionsChanged(options, rtPrinter);
  window_.Post([w = &window_, options, rtPrinter] { w->OptionsChanged(options, rtPrinter); });
}
void ServiceView::ClosingNotice(const std::string& text) {
  console_.ClosingNotice(text);
  window_.Post([w = &window_, text] { w->ClosingNotice(text); });
}
void ServiceView::MessageBox(const std::string& text) {
  console_.MessageBox(text);
  window_.Post([w = &window_, text] { w->MessageBox(text); });
}
// For the log only: the window has nothing to show.
void ServiceView::Log(const std::string& text) { console_.Log(text); }

ServiceThread::ServiceThread(std::unique_ptr<Program> program, MainWindow& window, StatusView& view)
    : program_(std::move(program)), window_(window), view_(view) {
  queued_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

ServiceThread::~ServiceThread() {
  Join();
  if (queued_) CloseHandle(queued_);
}

bool ServiceThread::Start(std::string* error) {
  thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
  if (!thread_) *error = "CreateThread: " + std::to_string(GetLastError());
  return thread_ != nullptr;
}

void ServiceThread::Join() {
  if (!thread_) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

DWORD WINAPI ServiceThread::ThreadMain(void* self) {
  static_cast<ServiceThread*>(self)->Run();
  return 0;
}

void ServiceThread::Run() {
  platform::EventLoop& loop = program_->loop();
  // Actions run from whatever wait the service is in, as the closing needs:
  // the job service decides what each may do meanwhile.
  int handle = loop.AddHandle(platform::NativeHandle(queued_), [this] { RunQueued(); });
  try {
    program_->Start();
  } catch (const std::exception& e) {
    startError_ = e.what();
  } catch (...) {
    startError_ = "errore imprevisto";
  }
  window_.Post([w = &window_] { w->EndSplash(); });
  while (startError_.empty() && !program_->Finished()) {
    // No exception ends the program unseen: it is shown and the loop goes on.
    try {
      loop.RunOnce(-1);
    } catch (const std::exception& e) {
      view_.MessageBox(std::string("Errore: ") + e.what());
    } catch (...) {
      view_.MessageBox("Errore imprevisto");
    }
  }
  loop.RemoveHandle(handle);
  program_.reset();
  window_.Post([w = &window_] { w->ServiceEnded(); });
}

void ServiceThread::Queue(std::function<void()> action) {
  AcquireSRWLockExclusive(&lock_);
  actions_.push_back(std::move(action));
  ReleaseSRWLockExclusive(&lock_);
  SetEvent(queued_);
}

// One at a time: an action that waits (the closing) lets the next ones run
// from its wait, still in order.
void ServiceThread::RunQueued() {
  for (;;) {
    AcquireSRWLockExclusive(&lock_);
    if (actions_.empty()) {
      ReleaseSRWLockExclusive(&lock_);
      return;
    }
    std::function<void()> action = std::move(actions_.front());
    actions_.pop_front();
    ReleaseSRWLockExclusive(&lock_);
    try {
      action();
    } catch (const std::exception& e) {
      view_.MessageBox(std::string("Errore: ") + e.what());
    } catch (...) {
      view_.MessageBox("Errore imprevisto");
    }
  }
}

void ServiceThread::SetPortEnabled(int16_t port, bool ticked) {
  Queue([this, port, ticked] { program_->actions().SetPortEnabled(port, ticked); });
}
void ServiceThread::SelectFastDetection() {
  Queue([this] { program_->actions().SelectFastDetection(); });
}
void ServiceThread::SelectTimerDetection() {
  Queue([this] { program_->actions().SelectTimerDetection(); });
}
void ServiceThread::SetTimerValue(const std::string& typedText) {
  Queue([this, typedText] {
    program_->actions().SetTimerValue(typedText);
    window_.Post([w = &window_, text = program_->settings().timerText] { w->TimerText(text); });
  });
}
void ServiceThread::ShowMainWindow() {
  Queue([this] { program_->actions().ShowMainWindow(); });
}
void ServiceThread::WindowMinimised() {
  Queue([this] { program_->actions().WindowMinimised(); });
}
void ServiceThread::PrintTestReceipt() {
  Queue([this] { program_->actions().PrintTestReceipt(); });
}
void ServiceThread::CancelReceipt() {
  Queue([this] { program_->actions().CancelReceipt(); });
}
void ServiceThread::Unload() {
  Queue([this] { program_->actions().Unload(); });
}
void ServiceThread::SetOption(bool settings::Options::*option, bool value) {
  Queue([this, option, value] { program_->settings().options.*option = value; });
}

}  // namespace service::window
