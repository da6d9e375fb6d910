// fQuilo1, the main window, with its notification icon: the Win32 status
// view of the job service, and the place where the operator's clicks become
// operator actions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/event_loop.h"
#include "service/operator_actions.h"
#include "service/status_view.h"
#include "service/window/dialogs.h"
#include "settings/settings_store.h"

namespace service::window {

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
  // settings' state, the operator's clicks go to `actions` from now on.
  // `manualPath` is the manual's full path.
  void Bind(platform::EventLoop& loop, OperatorActions& actions, settings::Settings& settings,
            const std::string& manualPath);
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
  void ConfigurationLocked(bool locked) override;
  void TestButtonEnabled(bool enabled) override;
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
  void FillFromSettings();
  void EnableFrames(bool enabled);

  void ShowFromIcon();
  void OpenFileMenu();
  void OpenManual();
  void Close();
  void EndSession();
  // Runs an operator action; an exception escaping it is shown, not fatal.
  template <class F>
  void Guard(F&& action);

  bool AddIcon();
  void UpdateIcon();
  bool Finished() const;
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
  OperatorActions* actions_ = nullptr;
  settings::Settings* settings_ = nullptr;
  std::string manualPath_;

  bool shown_ = false;        // windowShown as the window sees it
  bool iconAdded_ = false;
  bool busy_ = false;
  std::wstring tip_ = L"Quilo1 in attesa esecuzione...";
  bool available_[4] = {false, false, false, false};
  bool fast_ = false;         // the detection mode last selected
  bool closing_ = false;
  bool closeRequested_ = false;
  int64_t form1ShownAt_ = 0;
};

}  // namespace service::window
