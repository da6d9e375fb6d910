// The job service of Quilo1.exe on a thread of its own, with its own event
// loop: printer waits never run window code, and menus, boxes and dragging
// on the window thread never hold up a job. The two threads only post.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "service/console_view.h"
#include "service/program.h"
#include "service/window/main_window.h"
#include "service/window/program_log.h"

namespace service::window {

// The status view the service calls: each call goes into the program log,
// then is posted to the window.
class ServiceView : public StatusView {
 public:
  ServiceView(MainWindow& window, ProgramLog& log);

  void PrinterMessage(const std::string& text) override;
  void ProgramStatus(int16_t port, const std::string& text) override;
  void DetectionStatus(const std::string& text) override;
  void Busy(bool busy, const std::string& tip) override;
  void PortAvailable(int16_t port, bool available) override;
  void PortBox(int16_t port, bool ticked, bool enabled) override;
  void DumpState(int16_t port, const std::string& text) override;
  void PrinterSerial(int16_t port, const std::string& serial) override;
  void DataDirectory(const std::string& path) override;
  void WatcherStarted() override;
  void TimerControls(bool visible, const std::string& timerText) override;
  void DetectionSettings(bool fast, const std::string& timerText) override;
  void ConfigurationLocked(bool locked) override;
  void TestButtonEnabled(bool enabled) override;
  void OptionsChanged(const settings::Options& options, bool rtPrinter) override;
  void ClosingNotice(const std::string& text) override;
  void MessageBox(const std::string& text) override;
  void Log(const std::string& text) override;

 private:
  MainWindow& window_;
  ProgramLog& log_;
  ConsoleStatusView console_;
};

class ServiceThread : public WindowActions {
 public:
  // The program is destroyed on the service's thread too, after its loop:
  // its port and watcher end their waits on the thread that started them.
  ServiceThread(std::unique_ptr<Program> program, MainWindow& window, StatusView& view);
  ~ServiceThread() override;
  // Starts the thread: the job service's start-up, then its loop until the
  // program has finished; then the window is told (MainWindow::ServiceEnded).
  bool Start(std::string* error);
  // Waits for the thread's end.
  void Join();
  // What stopped the service's start-up, empty when it started.
  const std::string& startError() const { return startError_; }

  void SetPortEnabled(int16_t port, bool ticked) override;
  void SelectFastDetection() override;
  void SelectTimerDetection() override;
  void SetTimerValue(const std::string& typedText) override;
  void ShowMainWindow() override;
  void WindowMinimised() override;
  void PrintTestReceipt() override;
  void CancelReceipt() override;
  void Unload() override;
  void SetOption(bool settings::Options::*option, bool value) override;

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
