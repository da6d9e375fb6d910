// The job service of Quilo1.exe on a thread of its own, with its own event
// loop: printer waits never run window code, and menus, boxes and dragging
// on the window thread never hold up a job. The two threads only post.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "service/program.h"
#include "service/status_view.h"
#include "service/window/main_window.h"
#include "service/window/program_log.h"

namespace service::window {

// The subscriber through which the window sees the service's state: each
// change is written to the program log on the service's thread, then posted
// to the window with a copy of the state.
StatusView::Subscriber PostedToWindow(MainWindow& window, ProgramLog& log);

// The operator's actions go to the service's thread as posted closures.
class ServiceThread {
 public:
  // The program is destroyed on the service's thread too, after its loop:
  // its port and watcher end their waits on the thread that started them.
  // `view` is the one the program shows its state through.
  ServiceThread(std::unique_ptr<Program> program, MainWindow& window, StatusView& view);
  ~ServiceThread();
  // Starts the thread: the job service's start-up, then its loop until the
  // program has finished; then the window is told (MainWindow::ServiceEnded).
  bool Start(std::string* error);
  // Waits for the thread's end.
  void Join();
  // What stopped the service's start-up, empty when it started.
  const std::string& startError() const { return startError_; }

  // From the window thread: `action` runs on the service's loop, in order.
  void Post(std::function<void(OperatorActions&)> action);

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  // From the window thread: queued, then run by the service loop.
  void Queue(std::function<void()> action);
  void RunQueued();

  std::unique_ptr<Program> program_;
  MainWindow& window_;
  StatusView& view_;
  HANDLE thread_ = nullptr;
  HANDLE queued_ = nullptr;  // set while actions wait; one of the loop's handles
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::deque<std::function<void()>> actions_;
  std::string startError_;
};

}  // namespace service::window
