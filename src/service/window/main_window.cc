// fQuilo1: the dialog from the resource script, its tool tips, indicators,
// menus and notification icon, and the service's state drawn on them.
#include "service/window/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "service/window/resource.h"

namespace service::window {
namespace {

const wchar_t kClassName[] = L"fQuilo1";
const COLORREF kGreen = 65280;  // RGB(0, 255, 0)
const COLORREF kRed = RGB(255, 0, 0);
const UINT kIconId = 1;
// A status-view call from the service's thread: lParam is a heap closure.
const UINT WM_QUILO1_CALL = WM_APP + 2;

// The option boxes of "Altre Opzioni", each bound to its option.
struct OptionBox {
  int id;
  bool settings::Options::*option;
};
const OptionBox kOptionBoxes[] = {
    {IDC_CHBCONVXONXOFF, &settings::Options::chbConvXonXoff},
    {IDC_CHBTRACE, &settings::Options::chbTrace},
    {IDC_CHKDISABLEDISPLAY, &settings::Options::chkDisableDisplay},
    {IDC_CHKCODFISC, &settings::Options::chkCodFisc},
    {IDC_CHBPAGAMENTIESTESI, &settings::Options::chbPagamentiEstesi},
    {IDC_CHBINVERSIONESCONTISURESO, &settings::Options::chbInversioneScontiSuReso},
    {IDC_CHBTEND5ASCORRNONRISCOSSO, &settings::Options::chbTend5ASCorrNonRiscosso},
    {IDC_CHBNOINVIAAPCASSETTO, &settings::Options::chbNoInviaApCassetto},
    {IDC_CHBFASTDISPLAY, &settings::Options::chbFastDisplay},
    {IDC_CHBDELAYCOMPATIBILITA, &settings::Options::chbDelayCompatibilita},
    {IDC_CHBDISABTOTALIZZATORI, &settings::Options::chbDisabTotalizzatori},
    {IDC_CHKFORZAINTESTAZIONEFATTURA, &settings::Options::chkForzaIntestazioneFattura},
    {IDC_CHECKLOGPAGAMENTO, &settings::Options::CheckLogPagamento},
    {IDC_CHECKSTAMPALOGO, &settings::Options::CheckStampaLogo},
};

// The five frames that a ticked port box locks, with the option boxes of
// Frame6. Read-only fields and their labels stay enabled: the operator reads
// them while the port runs.
const int kLockedControls[] = {
    IDC_FRAME2, IDC_FRAME6, IDC_FRAME3, IDC_OPTIONFAST, IDC_OPTIONSLOW, IDC_TXTTIMERVAL, IDC_CMDCHGTIMER,
    IDC_FRAME4, IDC_FRAMEFATTSCO, IDC_OPTFISCAL, IDC_OPTNONFISCAL,
};

struct Tip {
  int id;
  const char* text;
};
const Tip kTips[] = {
    {IDC_TEXT8, "Matricola"},
    {IDC_CHBCONVXONXOFF, "Abilita conversione da file in formato XonXoff"},
    {IDC_HEAD_STATO, "Se verde indica che la porta \xE8 attiva"},
    {IDC_TEXT1, "Messaggi ricevuti da ECR"},
    {IDC_TEXT2, "Stato del programma QUILO1"},
    {IDC_CMDCHGTIMER, "Cliccare per settare il timer"},
    {IDC_TXTTIMERVAL, "Valore del timer in secondi"},
    {IDC_CMBFILE, "Esegue scontrino di prova per test collegamento"},
};

bool ValidPort(int16_t port) { return port >= 1 && port <= 4; }

// The program ends itself with exit() after a fatal exchange-file error; the
// icon must not stay behind in the notification area.
MainWindow* g_window = nullptr;
void RemoveIconAtExit() {
  if (g_window) g_window->RemoveIcon();
}

HICON LoadSized(HINSTANCE instance, int id, int size) {
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance) : instance_(instance) {}

MainWindow::~MainWindow() {
  if (g_window == this) g_window = nullptr;
  RemoveIcon();
  if (form1_) DestroyWindow(form1_);
  if (hwnd_) {
    RemoveDialog(hwnd_);
    DestroyWindow(hwnd_);
  }
  EndSplash();
  if (iconMenu_) DestroyMenu(iconMenu_);
  for (HICON i : {icon_, busyIcon_, smallIcon_, smallBusyIcon_})
    if (i) DestroyIcon(i);
}

void MainWindow::ShowSplash() {
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  splash_ = CreateSplash(instance_, version_);
}

void MainWindow::EndSplash() {
  if (!splash_) return;
  DestroySplash(splash_);
  splash_ = nullptr;
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

bool MainWindow::Create(std::string* error) {
  icon_ = LoadSized(instance_, IDI_QUILO1, GetSystemMetrics(SM_CXICON));
  busyIcon_ = LoadSized(instance_, IDI_BUSY, GetSystemMetrics(SM_CXICON));
  smallIcon_ = LoadSized(instance_, IDI_QUILO1, GetSystemMetrics(SM_CXSMICON));
  smallBusyIcon_ = LoadSized(instance_, IDI_BUSY, GetSystemMetrics(SM_CXSMICON));

  // The dialog runs under its own class name, which the installer looks
  // for to close a running copy.
  const WNDCLASSEXW wc{sizeof(WNDCLASSEXW), 0, DefDlgProcW, 0, DLGWINDOWEXTRA, instance_, icon_,
                       LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                       nullptr, kClassName, smallIcon_};
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    *error = "RegisterClassEx: " + std::to_string(GetLastError());
    return false;
  }
  hwnd_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProc, LPARAM(this));
  if (!hwnd_) {
    *error = "CreateDialog: " + std::to_string(GetLastError());
    return false;
  }
  AddDialog(hwnd_);
  AddTooltips();
  iconMenu_ = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_MAIN_MENU));
  g_window = this;
  std::atexit(RemoveIconAtExit);
  taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
  // Explorer runs with more rights than we may: let its message through.
  ChangeWindowMessageFilterEx(hwnd_, taskbarCreated_, MSGFLT_ALLOW, nullptr);
  AddIcon();
  return true;
}

void MainWindow::Bind(platform::EventLoop& loop, PostAction act, const settings::Settings& settings,
                      const std::string& manualPath) {
  loop_ = &loop;
  act_ = std::move(act);
  manualPath_ = manualPath;
  FillOptions(settings.options);
  SetText(hwnd_, IDC_TXTTIMERVAL, settings.timerText);
  // The boxes as the settings say; start-up then clears and disables those
  // of the ports it finds missing.
  for (int16_t port = 1; port <= 4; ++port)
    CheckDlgButton(hwnd_, IDC_CHECK1 + port - 1, settings.portEnabled[port - 1] ? BST_CHECKED : BST_UNCHECKED);
  // Closed while it was loading: close now.
  if (closeRequested_) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void MainWindow::FillOptions(const settings::Options& o) {
  for (const OptionBox& box : kOptionBoxes)
    CheckDlgButton(hwnd_, box.id, o.*box.option ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(hwnd_, IDC_OPTFISCAL, IDC_OPTNONFISCAL, o.OptNonFiscal ? IDC_OPTNONFISCAL : IDC_OPTFISCAL);
  ShowDetectionMode(o.OptionFAST);
}

void MainWindow::ShowDetectionMode(bool fast) {
  fast_ = fast;
  CheckRadioButton(hwnd_, IDC_OPTIONFAST, IDC_OPTIONSLOW, fast ? IDC_OPTIONFAST : IDC_OPTIONSLOW);
}

void MainWindow::Post(std::function<void()> call) {
  if (GetCurrentThreadId() == threadId_ || !hwnd_) {
    call();
    return;
  }
  auto* posted = new std::function<void()>(std::move(call));
  if (!PostMessageW(hwnd_, WM_QUILO1_CALL, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

void MainWindow::ServiceEnded() {
  serviceEnded_ = true;
  // Seen in a nested loop (the end of the session is a sent message, run
  // inside the outer loop's wait), the outer wait must still return.
  if (loop_) loop_->Wake();
}

void MainWindow::AddTooltips() {
  HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                                 instance_, nullptr);
  if (!tooltip) return;
  SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
  auto add = [this, tooltip](int id, const std::string& tip) {
    std::wstring text = Widen(tip);
    TTTOOLINFOW ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(hwnd_, id));
    ti.lpszText = text.data();
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  };
  for (const Tip& tip : kTips) add(tip.id, tip.text);
  for (int i = 0; i < 4; ++i) {
    const std::string com = "COM" + std::to_string(i + 1);
    add(IDC_CHECK1 + i, "Abilita / disabilita " + com);
    add(IDC_SHAPE1 + i, "Verde, se " + com + " disponibile");
    add(IDC_TEXT4 + i, "Segnala se DUMP ricevuto su " + com);
  }
}

// ---- the notification icon ----

// The icon as it stands: the busy or idle picture and its tip.
bool MainWindow::NotifyIcon(DWORD command) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = hwnd_;
  nid.uID = kIconId;
  nid.uFlags = NIF_ICON | NIF_TIP | (command == NIM_ADD ? NIF_MESSAGE : 0);
  nid.uCallbackMessage = WM_QUILO1_ICON;
  nid.hIcon = busy_ ? smallBusyIcon_ : smallIcon_;
  lstrcpynW(nid.szTip, tip_.c_str(), ARRAYSIZE(nid.szTip));
  return Shell_NotifyIconW(command, &nid) != 0;
}

bool MainWindow::AddIcon() {
  iconAdded_ = NotifyIcon(NIM_ADD);
  if (!iconAdded_) Log("Shell_NotifyIcon: icona non aggiunta (" + std::to_string(GetLastError()) + ")");
  return iconAdded_;
}

void MainWindow::RemoveIcon() {
  if (!iconAdded_) return;
  NotifyIcon(NIM_DELETE);
  iconAdded_ = false;
}

void MainWindow::ShowFromIcon() {
  if (!act_ || closing_) return;
  shown_ = true;
  act_([](OperatorActions& a) { a.ViewShown(true); });
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
}

void MainWindow::OpenFileMenu() {
  if (!iconMenu_ || closing_) return;
  HMENU file = GetSubMenu(iconMenu_, 0);
  SetMenuDefaultItem(file, IDM_ESCI, FALSE);
  POINT pt;
  GetCursorPos(&pt);
  // Without the foreground the menu would not close when clicked away.
  SetForegroundWindow(hwnd_);
  int id = TrackPopupMenu(file, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, 0, hwnd_, nullptr);
  PostMessageW(hwnd_, WM_NULL, 0, 0);
  if (id) OnCommand(id);
}

// ---- operator actions ----

void MainWindow::OnCommand(int id) {
  switch (id) {
    case IDM_ESCI: return Close();
    case IDM_INFO: return ShowAbout(instance_, loop_, hwnd_, version_, [this] { return Finished(); });
    case IDM_MANUAL: return OpenManual();
    case IDM_CONSOLE: return OpenConsole();
  }
  if (!act_ || closing_) return;
  const bool ticked = IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
  if (id >= IDC_CHECK1 && id < IDC_CHECK1 + 4) {
    const int16_t port = int16_t(id - IDC_CHECK1 + 1);
    act_([port, ticked](OperatorActions& a) { a.SetPortEnabled(port, ticked); });
    return;
  }
  for (const OptionBox& box : kOptionBoxes) {
    if (box.id == id) return act_([option = box.option, ticked](OperatorActions& a) { a.SetOption(option, ticked); });
  }
  switch (id) {
    case IDC_OPTFISCAL:
    case IDC_OPTNONFISCAL: {
      const bool nonFiscal = IsDlgButtonChecked(hwnd_, IDC_OPTNONFISCAL) == BST_CHECKED;
      act_([nonFiscal](OperatorActions& a) { a.SetOption(&settings::Options::OptNonFiscal, nonFiscal); });
      break;
    }
    case IDC_OPTIONFAST:
    case IDC_OPTIONSLOW: {
      bool fast = IsDlgButtonChecked(hwnd_, IDC_OPTIONFAST) == BST_CHECKED;
      if (fast == fast_) break;  // a click on the option already chosen
      fast_ = fast;
      act_([fast](OperatorActions& a) { a.SetFastDetection(fast); });
      break;
    }
    case IDC_CMDCHGTIMER: {
      wchar_t text[64] = L"";
      GetDlgItemTextW(hwnd_, IDC_TXTTIMERVAL, text, ARRAYSIZE(text));
      act_([typed = Narrow(text)](OperatorActions& a) { a.SetTimerValue(typed); });
      break;
    }
    case IDC_CMBFILE:
      // Only from the window shown: a click that came while it was going away is dropped.
      if (shown_) act_([](OperatorActions& a) { a.TestReceipt(); });
      break;
    case IDC_ANNULLO:
      act_([](OperatorActions& a) { a.CancelReceipt(); });
      break;
    default:
      break;
  }
}

void MainWindow::OpenManual() {
  if (manualPath_.empty()) return;
  std::wstring path = Widen(manualPath_);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    MessageBox("File: " + manualPath_ + " non trovato");
    return;
  }
  HINSTANCE r = ShellExecuteW(hwnd_, L"Open", path.c_str(), L"0", L"0", SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(r) <= 32) MessageBox("Operazione non eseguita: verificare presenza Reader ");
}

// The system's browser on the login link, as the shell opens an address.
void MainWindow::OpenConsole() {
  if (consoleUrl_.empty()) {
    MessageBox("Console web disattivata in QLCONSOLE.TXT");
    return;
  }
  std::wstring url = Widen(consoleUrl_);
  HINSTANCE r = ShellExecuteW(hwnd_, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(r) <= 32) MessageBox("Browser non disponibile: aprire " + consoleUrl_);
}

void MainWindow::Close() {
  if (!act_) {
    closeRequested_ = true;
    return;
  }
  if (closing_) return;
  closing_ = true;
  act_([](OperatorActions& a) { a.Unload(); });
}

void MainWindow::FinishClosing() {
  if (form1_ && loop_) {
    int64_t left = form1ShownAt_ + 1000 - loop_->NowMs();
    if (left > 0) platform::RunUntil(*loop_, [] { return false; }, left);
  }
  RemoveIcon();
  if (form1_) DestroyWindow(form1_);
  form1_ = nullptr;
  ShowWindow(hwnd_, SW_HIDE);
}

// ---- the dialog ----

INT_PTR CALLBACK MainWindow::DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MainWindow* self;
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<MainWindow*>(lp);
    SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  // Nothing may unwind through the system's dispatching: shown here instead.
  INT_PTR result = FALSE;
  ShowingErrors([&] { result = self->OnMessage(msg, wp, lp); },
                [self](const std::string& text) { self->MessageBox(text); });
  return result;
}

INT_PTR MainWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == taskbarCreated_ && msg != 0) {
    // A new taskbar has no icon of ours; a stale entry of the same id would
    // make the addition fail, so it goes first.
    iconAdded_ = true;
    RemoveIcon();
    if (!closing_) AddIcon();
    return TRUE;
  }
  switch (msg) {
    case WM_INITDIALOG:
      return FALSE;
    case WM_QUILO1_CALL: {
      std::unique_ptr<std::function<void()>> call(reinterpret_cast<std::function<void()>*>(lp));
      (*call)();
      return TRUE;
    }
    case WM_QUILO1_ICON:
      if (UINT(lp) == WM_LBUTTONDBLCLK) ShowFromIcon();
      // Once per right click: the button-down comes first.
      if (UINT(lp) == WM_RBUTTONUP) OpenFileMenu();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == 0) OnCommand(LOWORD(wp));
      return TRUE;
    case WM_SIZE:
      if (wp == SIZE_MINIMIZED && shown_) {
        shown_ = false;
        ShowWindow(hwnd_, SW_HIDE);
        if (act_) act_([](OperatorActions& a) { a.ViewShown(false); });
      }
      return TRUE;
    case WM_CLOSE:
      Close();
      return TRUE;
    case WM_QUERYENDSESSION:
      // The session may end: nothing to decide, so no waiting here.
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_ENDSESSION:
      // It ends: the clean closing runs before the answer, so that the till
      // comes back without stale exchange files. Windows allows a few seconds.
      if (wp) {
        Close();
        if (loop_) platform::RunUntil(*loop_, [this] { return Finished(); }, 20000);
      }
      SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlID >= IDC_SHAPE1 && item->CtlID < IDC_SHAPE1 + 4) {
        DrawShape(*item);
        return TRUE;
      }
      return FALSE;
    }
  }
  return FALSE;
}

// Shape1, Shape2, Shape4, Shape5: a round lamp, green while the port is
// available.
void MainWindow::DrawShape(const DRAWITEMSTRUCT& item) {
  int index = int(item.CtlID) - IDC_SHAPE1;
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  int side = std::min(r.right - r.left, r.bottom - r.top);
  int x = r.left + (r.right - r.left - side) / 2, y = r.top + (r.bottom - r.top - side) / 2;
  HBRUSH fill = CreateSolidBrush(lampGreen_[index] ? kGreen : kRed);
  HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ oldBrush = SelectObject(item.hDC, fill);
  HGDIOBJ oldPen = SelectObject(item.hDC, pen);
  Ellipse(item.hDC, x, y, x + side, y + side);
  SelectObject(item.hDC, oldBrush);
  SelectObject(item.hDC, oldPen);
  DeleteObject(fill);
  DeleteObject(pen);
}

// ---- the service's state ----

void MainWindow::Show(const ServiceState& s, StateChange change) {
  switch (change.what) {
    case Shown::kPrinterMessage: return SetText(hwnd_, IDC_TEXT1, s.printerMessage);
    case Shown::kProgramStatus: return SetText(hwnd_, IDC_TEXT2, s.programStatus);
    case Shown::kDetectionText: return SetText(hwnd_, IDC_TEXT3, s.detectionText);
    case Shown::kTrayIcon: return ShowBusy(s.busy, s.trayTip);
    case Shown::kPortAvailable:
    case Shown::kPortBox:
    case Shown::kDumpState:
      if (ValidPort(change.port)) ShowPort(change.port, s.ports[change.port - 1], change.what);
      return;
    case Shown::kSerial:
      if (ValidPort(change.port)) SetText(hwnd_, IDC_TEXT8, s.ports[change.port - 1].serial);
      return;
    case Shown::kDataDirectory: return SetText(hwnd_, IDC_TXTAPPDATAVISTA, s.dataDirectory);
    case Shown::kWatching: return SetText(hwnd_, IDC_FRAME3, "Stato del collegamento");
    case Shown::kTimerShown:
      ShowWindow(GetDlgItem(hwnd_, IDC_TXTTIMERVAL), s.timerShown ? SW_SHOW : SW_HIDE);
      ShowWindow(GetDlgItem(hwnd_, IDC_CMDCHGTIMER), s.timerShown ? SW_SHOW : SW_HIDE);
      return;
    case Shown::kDetectionMode:
      // Changed from the console: the radio buttons and the field follow the
      // page. The window's own click has set them already, and the field
      // keeps what the operator types until "Set timer".
      if (s.fastDetection == fast_) return;
      ShowDetectionMode(s.fastDetection);
      return SetText(hwnd_, IDC_TXTTIMERVAL, s.timerText);
    case Shown::kTimerText: return SetText(hwnd_, IDC_TXTTIMERVAL, s.timerText);
    case Shown::kConfiguration:
      for (int id : kLockedControls) EnableWindow(GetDlgItem(hwnd_, id), !s.configurationLocked);
      for (const OptionBox& box : kOptionBoxes) EnableWindow(GetDlgItem(hwnd_, box.id), !s.configurationLocked);
      EnableWindow(GetDlgItem(hwnd_, IDC_CMBFILE), s.configurationLocked);
      EnableWindow(GetDlgItem(hwnd_, IDC_ANNULLO), s.configurationLocked);
      return;
    case Shown::kTestAvailable: EnableWindow(GetDlgItem(hwnd_, IDC_CMBFILE), s.testAvailable); return;
    case Shown::kOptions:
      FillOptions(s.options);
      ShowWindow(GetDlgItem(hwnd_, IDC_CHBINVERSIONESCONTISURESO), s.rtPrinter ? SW_HIDE : SW_SHOW);
      return;
    case Shown::kClosingNotice: return ShowClosingNotice(s.closingNotice);
    case Shown::kMessage: return MessageBox(s.lastMessage);
    default: return;  // for the log, the console or nobody
  }
}

void MainWindow::ShowBusy(bool busy, const std::string& tip) {
  busy_ = busy;
  tip_ = Widen(tip);
  // A failed icon waits for the taskbar to announce itself again.
  if (!closing_ && iconAdded_ && !NotifyIcon(NIM_MODIFY)) Log("Shell_NotifyIcon: icona non aggiornata");
  // A session ending mid-receipt is told why it should wait.
  if (busy) {
    ShutdownBlockReasonCreate(hwnd_, L"Quilo1: stampa in corso");
  } else {
    ShutdownBlockReasonDestroy(hwnd_);
  }
}

void MainWindow::SetLamp(int16_t port, bool green) {
  lampGreen_[port - 1] = green;
  InvalidateRect(GetDlgItem(hwnd_, IDC_SHAPE1 + port - 1), nullptr, TRUE);
}

void MainWindow::ShowPort(int16_t port, const PortStatus& p, Shown what) {
  HWND box = GetDlgItem(hwnd_, IDC_CHECK1 + port - 1);
  if (what == Shown::kDumpState) {
    SetText(hwnd_, IDC_TEXT4 + port - 1, p.dumpState);
  } else if (what == Shown::kPortAvailable) {
    SetLamp(port, p.available);
    if (!p.available) {
      CheckDlgButton(hwnd_, IDC_CHECK1 + port - 1, BST_UNCHECKED);
      EnableWindow(box, FALSE);
    }
  } else {
    CheckDlgButton(hwnd_, IDC_CHECK1 + port - 1, p.ticked ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(box, p.enabled);
    // A port shut out (another port's printer was identified) is no longer active.
    if (!p.ticked && !p.enabled) SetLamp(port, false);
  }
}

void MainWindow::ShowClosingNotice(const std::string& text) {
  closing_ = true;
  RemoveIcon();
  shown_ = false;
  ShowWindow(hwnd_, SW_HIDE);
  if (form1_) {
    SetText(form1_, IDC_CLOSING_TEXT, text);
  } else {
    form1_ = CreateClosingNotice(instance_, hwnd_, text);
    if (loop_) form1ShownAt_ = loop_->NowMs();
  }
}

void MainWindow::MessageBox(const std::string& text) {
  // The splash must not cover the box.
  if (splash_) SetWindowPos(splash_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HWND owner = hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr;
  ShowMessage(instance_, loop_, owner, text, [this] { return Finished(); });
  if (splash_) SetWindowPos(splash_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// The window's own notes; the service's changes are logged before they are posted.
void MainWindow::Log(const std::string& text) {
  if (note_) note_(text);
}

}  // namespace service::window
