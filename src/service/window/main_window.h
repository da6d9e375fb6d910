// fQuilo1, the main window, with its notification icon: it renders the job
// service's state, and the operator's clicks become operator actions. It
// lives on the window thread; the service runs on its own and the two only
// post to each other. Beside it, Quilo1.exe's small windows (splash, About,
// closing notice, message box) and the helpers the windows share: text
// conversion, version information and modal runs that keep the window
// thread's event loop turning.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "service/operator_actions.h"
#include "service/service_state.h"
#include "settings/settings_store.h"

namespace service::window {

// Texts are Windows-1252 in std::string; windows take UTF-16.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// What VERSIONINFO says: the splash and About show it.
struct VersionInfo {
  std::string version;  // major "." minor ".0." revision
  std::string productName, companyName, legalCopyright, comments;
};
VersionInfo ReadVersionInfo();

// A control's text.
void SetText(HWND dialog, int id, const std::string& text);

// Runs `run`; an exception goes to `show` as the operator reads it, so that
// none ends the program unseen and the loop that called goes on.
void ShowingErrors(const std::function<void()>& run, const std::function<void(const std::string&)>& show);

// Keyboard navigation (Tab, arrows, Enter) for a modeless dialog while it
// exists; the event loop offers it each message first.
void AddDialog(HWND dialog);
void RemoveDialog(HWND dialog);

// frmSplash, topmost, shown at once; DestroySplash takes it off the top and
// away.
HWND CreateSplash(HINSTANCE instance, const VersionInfo& info);
void DestroySplash(HWND splash);
// frmAbout, modal over `owner`.
void ShowAbout(HINSTANCE instance, platform::EventLoop* loop, HWND owner, const VersionInfo& info,
               const std::function<bool()>& stop);
// The program's message box: the text, an exclamation icon and "OK".
void ShowMessage(HINSTANCE instance, platform::EventLoop* loop, HWND owner, const std::string& text,
                 const std::function<bool()>& stop);
// Form1, topmost, without taking the focus.
HWND CreateClosingNotice(HINSTANCE instance, HWND owner, const std::string& text);

// Hands an operator action to the service's thread; the window never waits
// for it. What it changed comes back as the service's state.
using PostAction = std::function<void(std::function<void(OperatorActions&)>)>;

class MainWindow {
 public:
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow();

  // The splash, shown while the program loads, and the hourglass.
  void ShowSplash();
  void EndSplash();

  // Creates fQuilo1 hidden, with its icon in the notification area. False
  // with `error` set when the window cannot be made.
  bool Create(std::string* error);
  // Connects the window to the loaded program: the controls take the
  // settings' state as loaded, the operator's clicks go to `act` from now
  // on. `loop` is the window thread's. `manualPath` is the manual's full path.
  void Bind(platform::EventLoop& loop, PostAction act, const settings::Settings& settings,
            const std::string& manualPath);
  // Runs `call` on the window thread: at once when called there, otherwise
  // posted to the window and run by its message handler, in order.
  void Post(std::function<void()> call);
  // The service's thread has ended: the window loop may end.
  void ServiceEnded();
  bool Finished() const { return serviceEnded_; }
  // The web console's login link for "Console nel browser": the browser
  // trades it for a session with the actions. Empty when the console is off.
  void SetConsoleUrl(const std::string& url) { consoleUrl_ = url; }
  // Where the window's own notes go (the program log).
  void SetNotes(std::function<void(const std::string&)> note) { note_ = std::move(note); }
  // Once the program has finished: Form1 stays up for its second, then the
  // icon and the windows go.
  void FinishClosing();
  // Takes the icon out of the notification area.
  void RemoveIcon();

  // Draws what `change` changed of the service's state. The texts are
  // written while the window is hidden too: opened, it shows the last ones.
  void Show(const ServiceState& state, StateChange change);
  // A message box of the window's own, or of the service.
  void MessageBox(const std::string& text);
  // A line of the window's own for the program log.
  void Log(const std::string& text);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  void OnCommand(int id);
  void DrawShape(const DRAWITEMSTRUCT& item);
  void AddTooltips();
  void FillOptions(const settings::Options& options);
  // The radio buttons of the detection mode, and the mode they show.
  void ShowDetectionMode(bool fast);
  void SetLamp(int16_t port, bool green);
  void ShowPort(int16_t port, const PortStatus& p, Shown what);
  void ShowBusy(bool busy, const std::string& tip);
  void ShowClosingNotice(const std::string& text);

  void ShowFromIcon();
  void OpenFileMenu();
  void OpenManual();
  void OpenConsole();
  void Close();

  bool NotifyIcon(DWORD command);
  bool AddIcon();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND splash_ = nullptr;
  HWND form1_ = nullptr;
  HMENU iconMenu_ = nullptr;
  HICON icon_ = nullptr, busyIcon_ = nullptr, smallIcon_ = nullptr, smallBusyIcon_ = nullptr;
  UINT taskbarCreated_ = 0;
  VersionInfo version_ = ReadVersionInfo();

  platform::EventLoop* loop_ = nullptr;
  PostAction act_;
  std::string manualPath_;
  std::string consoleUrl_;
  std::function<void(const std::string&)> note_;
  DWORD threadId_ = GetCurrentThreadId();

  bool shown_ = false;        // windowShown as the window sees it
  bool iconAdded_ = false;
  bool busy_ = false;
  std::wstring tip_ = Widen(kIdleTip);
  bool lampGreen_[4] = {false, false, false, false};
  bool fast_ = false;         // the detection mode, as the service last said
  bool serviceEnded_ = false;
  bool closing_ = false;
  bool closeRequested_ = false;
  int64_t form1ShownAt_ = 0;
};

}  // namespace service::window
