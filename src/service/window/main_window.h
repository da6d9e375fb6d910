// fQuilo1, the main window, with its notification icon: the Win32 status
// view of the job service, and the place where the operator's clicks become
// operator actions. It lives on the window thread; the service runs on its
// own and the two only post to each other.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "service/status_view.h"
#include "service/window/dialogs.h"
#include "settings/settings_store.h"

namespace service::window {

// What the window asks of the service, each posted to the service's thread:
// the operator actions and the option boxes. Nothing is asked back; what the
// window shows comes in as status-view calls.
class WindowActions {
 public:
  virtual ~WindowActions() = default;
  virtual void SetPortEnabled(int16_t port, bool ticked) = 0;
  virtual void SelectFastDetection() = 0;
  virtual void SelectTimerDetection() = 0;
  virtual void SetTimerValue(const std::string& typedText) = 0;
  virtual void ShowMainWindow() = 0;
  virtual void WindowMinimised() = 0;
  virtual void PrintTestReceipt() = 0;
  virtual void CancelReceipt() = 0;
  virtual void Unload() = 0;
  // A box of "Altre Opzioni" or "Gest. Fatture su Scontrino".
  virtual void SetOption(bool settings::Options::*option, bool value) = 0;
};

class MainWindow : public StatusView {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;

  // The splash, shown while the program loads, and the hourglass.
  void ShowSplash();
  void EndSplash();

  // Creates fQuilo1 hidden, with its icon in the notification area. False
  // with `error` set when the window cannot be made.
  bool Create(std::string* error);
  // Connects the window to the loaded program: the controls take the
  // settings' state as loaded, the operator's clicks go to `actions` from
  // now on. `loop` is the window thread's. `manualPath` is the manual's full path.
  void Bind(platform::EventLoop& loop, WindowActions& actions, const settings::Settings& settings,
            const std::string& manualPath);
  // Runs `call` on the window thread: at once when called there, otherwise
  // posted to the window and run by its message handler, in order.
  void Post(std::function<void()> call);
  // The service's thread has ended: the window loop may end.
  void ServiceEnded();
  bool Finished() const { return serviceEnded_; }
  // The interval field after "Set timer": the only time, after start-up,
  // that it is rewritten.
  void TimerText(const std::string& text);
  // The web console's login link for "Console nel browser": the browser
  // trades it for a session with the actions. Empty when the console is off.
  void SetConsoleUrl(const std::string& url) { consoleUrl_ = url; }
  // Where the window's own notes go (the program log).
  void SetNotes(std::function<void(const std::string&)> note) { note_ = std::move(note); }
  // Once the program has finished: Form1 stays up for its second, then the
  // icon and the windows go.
  void FinishClosing();
  HWND hwnd() const { return hwnd_; }
  // Takes the icon out of the notification area.
  void RemoveIcon();

  // StatusView
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
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnCommand(int id);
  void OnIconMessage(UINT mouseMessage);
  void DrawShape(const DRAWITEMSTRUCT& item);
  void AddTooltips();
  void FillOptions(const settings::Options& options);
  // The radio buttons of the detection mode, and the mode they show.
  void ShowDetectionMode(bool fast);
  void EnableFrames(bool enabled);
  void SetLamp(int16_t port, bool green);

  void ShowFromIcon();
  void OpenFileMenu();
  void OpenManual();
  void OpenConsole();
  void Close();

  bool AddIcon();
  void UpdateIcon();
  void SetText(int id, const std::string& text);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND splash_ = nullptr;
  HWND form1_ = nullptr;
  HMENU iconMenu_ = nullptr;
  HICON icon_ = nullptr, busyIcon_ = nullptr, smallIcon_ = nullptr, smallBusyIcon_ = nullptr;
  UINT taskbarCreated_ = 0;
  VersionInfo version_;

  platform::EventLoop* loop_ = nullptr;
  WindowActions* actions_ = nullptr;
  std::string manualPath_;
  std::string consoleUrl_;
  std::function<void(const std::string&)> note_;
  DWORD threadId_;

  bool shown_ = false;        // windowShown as the window sees it
  bool iconAdded_ = false;
  bool busy_ = false;
  std::wstring tip_ = L"Quilo1 in attesa esecuzione...";
  bool lampGreen_[4] = {false, false, false, false};
  bool fast_ = false;         // the detection mode, as the service last said
  bool serviceEnded_ = false;
  bool closing_ = false;
  bool closeRequested_ = false;
  int64_t form1ShownAt_ = 0;
};

}  // namespace service::window
