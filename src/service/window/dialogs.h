// Quilo1.exe's small windows (splash, About, closing notice, message box) and
// the helpers the windows share: text conversion, version information and
// modal runs that keep the window thread's event loop turning.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "platform/event_loop.h"

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

// Keyboard navigation (Tab, arrows, Enter) for a modeless dialog while it
// exists; the event loop offers it each message first.
void AddDialog(HWND dialog);
void RemoveDialog(HWND dialog);

// Shows `dialog` over `owner`, which is disabled meanwhile, and turns `loop`
// (or, without one, a plain message loop) until the dialog is closed or
// `stop()` holds; then destroys the dialog.
void RunModal(platform::EventLoop* loop, HWND dialog, HWND owner, const std::function<bool()>& stop);

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

}  // namespace service::window
