// The service's thread, the state it posts to the window and the operator
// actions the window posts to it.
#include "service/window/service_thread.h"

#include <exception>

#include "service/log_lines.h"

namespace service::window {

StatusView::Subscriber PostedToWindow(MainWindow& window, ProgramLog& log) {
  auto lines = LogLines([&log](const std::string& line) { log.Write(line); });
  return [&window, &log, lines](const ServiceState& state, StateChange change) {
    if (change.what == Shown::kDataDirectory) log.SetDirectory(state.dataDirectory);
    lines(state, change);
    window.Post([w = &window, state, change] { w->Show(state, change); });
  };
}

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
      view_.Message(std::string("Errore: ") + e.what());
    } catch (...) {
      view_.Message("Errore imprevisto");
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
      view_.Message(std::string("Errore: ") + e.what());
    } catch (...) {
      view_.Message("Errore imprevisto");
    }
  }
}

void ServiceThread::Post(std::function<void(OperatorActions&)> action) {
  Queue([this, action = std::move(action)] { action(program_->actions()); });
}

}  // namespace service::window
