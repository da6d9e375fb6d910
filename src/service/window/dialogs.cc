// Quilo1.exe's small windows and the modal runs that keep the window
// thread's loop turning, so that status calls still arrive while a box waits.
#include "service/window/main_window.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <vector>

#include "platform/win32/message_filter.h"
#include "service/window/resource.h"

namespace service::window {
namespace {

std::vector<HWND> g_dialogs;

// The dialogs live on one thread; another thread's loop leaves its messages alone.
std::atomic<DWORD> g_dialogThread{0};

bool FilterDialogMessage(void* m) {
  MSG* msg = static_cast<MSG*>(m);
  if (!msg->hwnd || GetCurrentThreadId() != g_dialogThread) return false;
  HWND root = GetAncestor(msg->hwnd, GA_ROOT);
  for (HWND d : g_dialogs)
    if (d == root) return IsDialogMessageW(d, msg) != 0;
  return false;
}

std::wstring Query(const std::vector<char>& block, const wchar_t* name) {
  std::wstring path = std::wstring(L"\\StringFileInfo\\041004E4\\") + name;
  void* value = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &len) || !value || len == 0) return L"";
  return std::wstring(static_cast<const wchar_t*>(value));
}

// The OK of About and of the message box only marks the dialog done;
// RunModal destroys it.
INT_PTR CALLBACK ModalProc(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) SetWindowLongPtrW(dialog, DWLP_USER, 1);
      return TRUE;
    case WM_CLOSE:
      SetWindowLongPtrW(dialog, DWLP_USER, 1);
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK PlainProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The hourglass over the splash while the program loads.
INT_PTR CALLBACK SplashProc(HWND splash, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_SETCURSOR) {
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SetWindowLongPtrW(splash, DWLP_MSGRESULT, TRUE);
    return TRUE;
  }
  return msg == WM_INITDIALOG;
}

// The message text laid out in at most about three times the template's
// width, the dialog and its button moved to fit.
void FitMessage(HWND dialog, const std::wstring& text) {
  HWND label = GetDlgItem(dialog, IDC_MESSAGE_TEXT);
  HWND ok = GetDlgItem(dialog, IDOK);
  RECT lr, okr, wr, cr;
  GetWindowRect(label, &lr);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&lr), 2);
  GetWindowRect(ok, &okr);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&okr), 2);
  GetWindowRect(dialog, &wr);
  GetClientRect(dialog, &cr);
  int baseWidth = lr.right - lr.left, baseHeight = lr.bottom - lr.top;
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT need{0, 0, baseWidth, 0};
  DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  if (need.bottom > baseHeight) {
    need = RECT{0, 0, baseWidth * 3, 0};
    DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
  }
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  int width = std::max<int>(baseWidth, need.right), height = std::max<int>(baseHeight, need.bottom);
  int dx = width - baseWidth, dy = height - baseHeight;
  MoveWindow(label, lr.left, lr.top, width, height, FALSE);
  int clientWidth = cr.right + dx;
  int okWidth = okr.right - okr.left;
  MoveWindow(ok, (clientWidth - okWidth) / 2, okr.top + dy, okWidth, okr.bottom - okr.top, FALSE);
  int w = wr.right - wr.left + dx, h = wr.bottom - wr.top + dy;
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &mi);
  int x = (mi.rcWork.left + mi.rcWork.right - w) / 2, y = (mi.rcWork.top + mi.rcWork.bottom - h) / 2;
  SetWindowPos(dialog, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

std::wstring Widen(const std::string& text) {
  if (text.empty()) return L"";
  int n = MultiByteToWideChar(1252, 0, text.data(), int(text.size()), nullptr, 0);
  std::wstring out(size_t(n), L'\0');
  MultiByteToWideChar(1252, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return "";
  int n = WideCharToMultiByte(1252, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n), '\0');
  WideCharToMultiByte(1252, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

VersionInfo ReadVersionInfo() {
  VersionInfo info;
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  HGLOBAL data = res ? LoadResource(nullptr, res) : nullptr;
  const void* bytes = data ? LockResource(data) : nullptr;
  if (!bytes) return info;
  // VerQueryValue may write into the block, so it works on a copy.
  std::vector<char> block(static_cast<const char*>(bytes),
                          static_cast<const char*>(bytes) + SizeofResource(nullptr, res));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len) && fixed) {
    info.version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                   std::to_string(LOWORD(fixed->dwFileVersionMS)) + ".0." +
                   std::to_string(LOWORD(fixed->dwFileVersionLS));
  }
  info.productName = Narrow(Query(block, L"ProductName"));
  info.companyName = Narrow(Query(block, L"CompanyName"));
  info.legalCopyright = Narrow(Query(block, L"LegalCopyright"));
  info.comments = Narrow(Query(block, L"Comments"));
  return info;
}

void SetText(HWND dialog, int id, const std::string& text) { SetDlgItemTextW(dialog, id, Widen(text).c_str()); }

void ShowingErrors(const std::function<void()>& run, const std::function<void(const std::string&)>& show) {
  try {
    run();
  } catch (const std::exception& e) {
    show(std::string("Errore: ") + e.what());
  } catch (...) {
    show("Errore imprevisto");
  }
}

void AddDialog(HWND dialog) {
  g_dialogThread = GetCurrentThreadId();
  g_dialogs.push_back(dialog);
  platform::SetMessageFilter(FilterDialogMessage);
}

void RemoveDialog(HWND dialog) {
  std::erase(g_dialogs, dialog);
}

namespace {

// Shows `dialog` over `owner`, which is disabled meanwhile, and turns `loop`
// (or, without one, a plain message loop) until the dialog is closed or
// `stop()` holds; then destroys the dialog.
void RunModal(platform::EventLoop* loop, HWND dialog, HWND owner, const std::function<bool()>& stop) {
  bool reenable = owner && IsWindowEnabled(owner);
  if (reenable) EnableWindow(owner, FALSE);
  AddDialog(dialog);
  ShowWindow(dialog, SW_SHOW);
  SetForegroundWindow(dialog);
  auto done = [&] { return !IsWindow(dialog) || GetWindowLongPtrW(dialog, DWLP_USER) != 0 || (stop && stop()); };
  while (!done()) {
    if (loop) {
      loop->RunOnce(-1);
      continue;
    }
    MSG msg;
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
    if (IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // The owner first, so that it gets the activation back.
  if (reenable) EnableWindow(owner, TRUE);
  RemoveDialog(dialog);
  if (IsWindow(dialog)) DestroyWindow(dialog);
}

}  // namespace

HWND CreateSplash(HINSTANCE instance, const VersionInfo& info) {
  HWND splash = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_SPLASH), nullptr, SplashProc, 0);
  if (!splash) return nullptr;
  SetText(splash, IDC_SPLASH_TITLE, info.productName);
  SetText(splash, IDC_SPLASH_VERSION, "Version " + info.version);
  SetText(splash, IDC_SPLASH_COMPANY, info.companyName);
  SetText(splash, IDC_SPLASH_COPYRIGHT, info.legalCopyright);
  // A larger title, as splash windows have.
  LOGFONTW lf{};
  HFONT base = reinterpret_cast<HFONT>(SendMessageW(splash, WM_GETFONT, 0, 0));
  GetObjectW(base, sizeof lf, &lf);
  lf.lfHeight = lf.lfHeight * 3 / 2;
  lf.lfWeight = FW_BOLD;
  HFONT big = CreateFontIndirectW(&lf);
  SendDlgItemMessageW(splash, IDC_SPLASH_TITLE, WM_SETFONT, WPARAM(big), FALSE);
  SetPropW(splash, L"Quilo1.Font", big);
  SetWindowPos(splash, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  UpdateWindow(splash);
  return splash;
}

void DestroySplash(HWND splash) {
  if (!splash) return;
  SetWindowPos(splash, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HANDLE font = RemovePropW(splash, L"Quilo1.Font");
  DestroyWindow(splash);
  if (font) DeleteObject(font);
}

void ShowAbout(HINSTANCE instance, platform::EventLoop* loop, HWND owner, const VersionInfo& info,
               const std::function<bool()>& stop) {
  HWND about = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, ModalProc, 0);
  if (!about) return;
  SetText(about, IDC_ABOUT_VERSION, "Versione " + info.version);
  SetText(about, IDC_ABOUT_TITLE, info.productName + " per sistemi Windows 32/64 bit");
  SetText(about, IDC_ABOUT_COMMENTS, info.comments);
  RunModal(loop, about, owner, stop);
}

void ShowMessage(HINSTANCE instance, platform::EventLoop* loop, HWND owner, const std::string& text,
                 const std::function<bool()>& stop) {
  HWND box = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MESSAGE), owner, ModalProc, 0);
  if (!box) return;
  SetText(box, IDC_MESSAGE_TEXT, text);
  SendDlgItemMessageW(box, IDC_MESSAGE_ICON, STM_SETICON, WPARAM(LoadIconW(nullptr, IDI_EXCLAMATION)), 0);
  FitMessage(box, Widen(text));
  // A resident program's box must not hide behind the operator's work.
  if (!owner) SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  MessageBeep(MB_ICONEXCLAMATION);
  RunModal(loop, box, owner, stop);
}

HWND CreateClosingNotice(HINSTANCE instance, HWND owner, const std::string& text) {
  HWND notice = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_CLOSING), owner, PlainProc, 0);
  if (!notice) return nullptr;
  SetText(notice, IDC_CLOSING_TEXT, text);
  SetWindowPos(notice, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  UpdateWindow(notice);
  return notice;
}

}  // namespace service::window
