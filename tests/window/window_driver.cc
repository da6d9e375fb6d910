// Drives a running Quilo1.exe from outside, as an operator would, and checks
// what its windows show. Run by wine-window.sh under Wine and Xvfb.
//
//   window_driver operate SYNC_DIR DATA_DIR   the operator's round: icon,
//       window, test receipt, "Annulla Scontrino", About, closing by menu,
//       and host jobs served while a menu or a box is open
//   window_driver endsession DATA_DIR          Windows asking to end the
//       session, then ending it
//
// What only the X side can do (clicks on the notification icon,
// screenshots) the driver asks of the script: it writes SYNC_DIR\ask-N
// holding the request and waits for SYNC_DIR\done-N.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "service/window/resource.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

[[noreturn]] void Fatal(const std::string& what) {
  std::printf("FAIL: %s\n", what.c_str());
  std::fflush(stdout);
  std::exit(1);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    Sleep(50);
  }
  return done();
}

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  return s;
}

// WM_GETTEXT, which the system carries across processes.
std::wstring Text(HWND w) {
  wchar_t buf[512] = L"";
  DWORD_PTR r = 0;
  SendMessageTimeoutW(w, WM_GETTEXT, ARRAYSIZE(buf), LPARAM(buf), SMTO_ABORTIFHUNG, 10000, &r);
  return buf;
}

std::wstring ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void CheckText(HWND dialog, int id, const std::wstring& expected) {
  std::wstring got = ItemText(dialog, id);
  Check(got == expected, "control " + std::to_string(id) + " shows \"" + Utf8(expected) + "\"" +
                             (got == expected ? "" : " (got \"" + Utf8(got) + "\")"));
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Checked(HWND dialog, int id) { return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != 0; }
void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

// A top-level window of the program's process with this caption.
HWND FindOwn(DWORD pid, const std::wstring& caption) {
  struct Search {
    DWORD pid;
    const std::wstring* caption;
    HWND found;
  } s{pid, &caption, nullptr};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != s->pid || !IsWindowVisible(w)) return TRUE;
        wchar_t buf[256] = L"";
        GetWindowTextW(w, buf, ARRAYSIZE(buf));
        if (*s->caption != buf) return TRUE;
        s->found = w;
        return FALSE;
      },
      LPARAM(&s));
  return s.found;
}

int asked = 0;
std::wstring syncDir;

void Ask(const std::string& request) {
  ++asked;
  std::wstring ask = syncDir + L"\\ask-" + std::to_wstring(asked);
  std::wstring done = syncDir + L"\\done-" + std::to_wstring(asked);
  std::wstring tmp = ask + L".tmp";
  FILE* f = _wfopen(tmp.c_str(), L"wb");
  if (!f) Fatal("cannot write the request " + request);
  std::fputs(request.c_str(), f);
  std::fclose(f);
  MoveFileW(tmp.c_str(), ask.c_str());
  if (!WaitFor([&] { return FileExists(done); }, 30000)) Fatal("the script did not answer " + request);
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (!f) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  return std::fclose(f) == 0;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (!f) return bytes;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

// A host's job on COM1: the document, then the start file.
void WriteJob(const std::wstring& dataDir) {
  DeleteFileW((dataDir + L"\\FINESCO.001").c_str());
  if (!WriteBytes(dataDir + L"\\SR_DATI.001", "SALE,N1,P250;\r\nCASH;\r\n") ||
      !WriteBytes(dataDir + L"\\SR_START.001", ""))
    Fatal("cannot write a job");
}

// A job written while `open` (a menu or a box) is up is served all the
// same, and leaves it up.
void JobWhileOpen(const std::wstring& dataDir, HWND open, const std::string& what) {
  WriteJob(dataDir);
  DWORD t0 = GetTickCount();
  bool done = WaitFor([&] { return FileExists(dataDir + L"\\FINESCO.001"); }, 10000);
  Check(done, "a job written while " + what + " is open is printed (FINESCO.001 after " +
                  std::to_string(GetTickCount() - t0) + " ms)");
  Check(IsWindow(open) && IsWindowVisible(open), what + " is still open");
}

// Shown or hidden by its own style: IsWindowVisible also asks the parent.
bool Hidden(HWND dialog, int id) { return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) == 0; }

HWND WaitForMainWindow() {
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = FindWindowW(L"fQuilo1", nullptr)) != nullptr; }, 30000))
    Fatal("no window of class fQuilo1");
  return main;
}

COLORREF ScreenPixelAt(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  HDC dc = GetDC(nullptr);
  COLORREF c = GetPixel(dc, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
  ReleaseDC(nullptr, dc);
  return c;
}

void CheckCaptions(HWND main) {
  const std::wstring caption = L"VEX_Quil1 per Custom RS232/USB" + std::wstring(22, L' ') + L"RT V7";
  Check(Text(main) == caption, "caption with 22 blanks before \"RT V7\"");
  struct {
    int id;
    const wchar_t* text;
  } const texts[] = {
      {IDC_ANNULLO, L"Annulla Scontrino"},
      {IDC_FRAME1, L"Porte di comunicazione"},
      {IDC_HEAD_PORTA, L"Porta"},
      {IDC_HEAD_STATO, L"Stato"},
      {IDC_HEAD_DUMP, L"Stato dump"},
      {IDC_HEAD_ATTIVA, L"Attiva"},
      {IDC_COM_LABEL1, L"COM 1"},
      {IDC_COM_LABEL1 + 3, L"COM 4"},
      {IDC_FRAME2, L"Configurazione Programma"},
      {IDC_LBLPATHVISTA, L"Path Dati x Windows VISTA/7/8/10"},
      {IDC_TXTAPPDATAVISTA, L"C:\\ProgramData\\ZEDODER1"},
      {IDC_FRAME6, L"Altre Opzioni"},
      {IDC_CHBCONVXONXOFF, L"Conversione da XonXoff"},
      {IDC_CHBTRACE, L"Abilita Trace di Comunicazione"},
      {IDC_CHKDISABLEDISPLAY, L"Disabilita Display Articoli"},
      {IDC_CHKCODFISC, L"Abilita Stampa CF/PIVA"},
      {IDC_CHBPAGAMENTIESTESI, L"Abilita Estensione Pagamenti"},
      {IDC_CHBINVERSIONESCONTISURESO, L"Abilita Inversione Sconti su Reso"},
      {IDC_CHBTEND5ASCORRNONRISCOSSO, L"Tender n.5 come Corr. non riscosso"},
      {IDC_CHBNOINVIAAPCASSETTO, L"Non Invia Apert. Cassetto da SW"},
      {IDC_CHBFASTDISPLAY, L"Abil. Display Veloce"},
      {IDC_CHBDELAYCOMPATIBILITA, L"Ritardo Compatibilit\u00e0"},
      {IDC_CHBDISABTOTALIZZATORI, L"Disab.  Totalizzatori"},
      {IDC_CHKFORZAINTESTAZIONEFATTURA, L"Forza Intest. Fattura"},
      {IDC_CHECKLOGPAGAMENTO, L"Log Pagam. POS"},
      {IDC_CHECKSTAMPALOGO, L"Logo In Coda"},
      {IDC_FRAMEFATTSCO, L"Gest. Fatture su Scontrino"},
      {IDC_OPTFISCAL, L"Input Fiscale"},
      {IDC_OPTNONFISCAL, L"Input Non Fiscale"},
      {IDC_FRAME4, L"Messaggi"},
      {IDC_LBLTEXT1, L"Messaggi ECR :"},
      {IDC_LBLTEXT2, L"Stato  Quil1 :"},
      {IDC_OPTIONFAST, L"Notifica (Fast)"},
      {IDC_OPTIONSLOW, L"Timer    (Slow)"},
      {IDC_CMDCHGTIMER, L"Set timer"},
      {IDC_CMBFILE, L" Esegui Test"},
      {IDC_TEXT4, L"DUMP ESEGUITO"},
  };
  for (const auto& t : texts) CheckText(main, t.id, t.text);
  std::wstring frame3 = ItemText(main, IDC_FRAME3);
  Check(frame3 == L"Impostazioni " || frame3 == L"Stato del collegamento",
        "frame 3 is \"Impostazioni \" or \"Stato del collegamento\" (got \"" + Utf8(frame3) + "\")");
  Check(!ItemText(main, IDC_TEXT8).empty(), "Text8 shows the printer's serial number");
}

int Operate(const std::wstring& dataDir) {
  HWND main = WaitForMainWindow();
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  Check(!IsWindowVisible(main), "fQuilo1 starts hidden");
  Check(WaitFor([&] { return FileExists(dataDir + L"\\SR_MATR.001"); }, 60000), "COM1 identified (SR_MATR.001)");
  Check(WaitFor([&] { return ItemText(main, IDC_TEXT3) == L"PRONTO"; }, 5000),
        "\"PRONTO\" shown in a window never opened (got \"" + Utf8(ItemText(main, IDC_TEXT3)) + "\")");

  // The notification icon: a single left click does nothing, a right click
  // opens the File menu, a double click opens the window.
  Ask("click-icon");
  Sleep(1000);
  Check(!IsWindowVisible(main), "a single left click on the icon leaves the window hidden");
  Ask("rclick-icon");
  HWND menu = nullptr;
  Check(WaitFor([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }, 5000),
        "a right click on the icon opens a pop-up menu");
  JobWhileOpen(dataDir, menu, "the icon's menu");
  Ask("click-away");
  Check(WaitFor([&] { HWND m = FindWindowW(L"#32768", nullptr); return !m || !IsWindowVisible(m); }, 5000),
        "a click elsewhere closes the pop-up menu");
  Ask("dblclick-icon");
  if (!WaitFor([&] { return IsWindowVisible(main) != 0; }, 5000)) Fatal("a double click on the icon shows no window");
  Check(true, "a double click on the icon shows the window");

  CheckCaptions(main);
  Check(ScreenPixelAt(GetDlgItem(main, IDC_SHAPE1)) == RGB(0, 255, 0), "Shape1 (COM1) is green");
  Check(ScreenPixelAt(GetDlgItem(main, IDC_SHAPE1 + 1)) == RGB(255, 0, 0),
        "Shape2 (COM2, available, shut out by the dump of COM1) is red");
  // The printer is an RT one: the dump changed the options.
  Check(Checked(main, IDC_CHBPAGAMENTIESTESI) && Hidden(main, IDC_CHBINVERSIONESCONTISURESO),
        "RT printer: \"Abilita Estensione Pagamenti\" ticked, \"Abilita Inversione Sconti su Reso\" hidden");

  // Clearing a port box unlocks the options, ticking it locks them.
  Check(Checked(main, IDC_CHECK1), "Check1 ticked");
  Check(!Enabled(main, IDC_CHECK1 + 1) && !Checked(main, IDC_CHECK1 + 1), "Check2 cleared and disabled");
  // The service answers the click: the window changes once its answer is in.
  Click(main, IDC_CHECK1);
  Check(WaitFor([&] { return Enabled(main, IDC_FRAME6) && Enabled(main, IDC_CHECKSTAMPALOGO) &&
                             Enabled(main, IDC_OPTIONFAST) && !Enabled(main, IDC_CMBFILE) && !Enabled(main, IDC_ANNULLO); },
                5000),
        "cleared port: options unlocked, test and cancel buttons disabled");
  // "Set timer" refuses 0 with a message box, which the operator closes.
  SendDlgItemMessageW(main, IDC_TXTTIMERVAL, WM_SETTEXT, 0, LPARAM(L"0"));
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_CMDCHGTIMER, BN_CLICKED), LPARAM(GetDlgItem(main, IDC_CMDCHGTIMER)));
  HWND refusal = nullptr;
  if (!WaitFor([&] { return (refusal = FindOwn(pid, L"Quilo1")) != nullptr; }, 5000)) Fatal("no message for timer 0");
  CheckText(refusal, IDC_MESSAGE_TEXT, L"Valore non ammesso");
  Check(!IsWindowEnabled(main), "the main window is disabled under the message");
  Click(refusal, IDOK);
  Check(WaitFor([&] { return !IsWindow(refusal); }, 5000) && IsWindowEnabled(main), "the message closed by \"OK\"");
  bool logo = Checked(main, IDC_CHECKSTAMPALOGO);
  Click(main, IDC_CHECKSTAMPALOGO);
  Check(Checked(main, IDC_CHECKSTAMPALOGO) != logo, "\"Logo In Coda\" changed by a click");
  Click(main, IDC_CHECK1);
  Check(WaitFor([&] { return Checked(main, IDC_CHECK1) && !Enabled(main, IDC_FRAME6) &&
                             !Enabled(main, IDC_CHECKSTAMPALOGO) && Enabled(main, IDC_CMBFILE) && Enabled(main, IDC_ANNULLO); },
                5000),
        "port ticked again: options locked, test and cancel buttons enabled");
  // The operator types in the interval field while scans run: it keeps the text.
  SendDlgItemMessageW(main, IDC_TXTTIMERVAL, WM_SETTEXT, 0, LPARAM(L"7"));
  Sleep(600);  // six scans
  CheckText(main, IDC_TXTTIMERVAL, L"7");
  SendDlgItemMessageW(main, IDC_TXTTIMERVAL, WM_SETTEXT, 0, LPARAM(L"100"));

  // Changed on the web console, the detection mode and the interval show in
  // the window as well.
  Ask("console-fast");
  Check(WaitFor([&] { return Checked(main, IDC_OPTIONFAST) && !Checked(main, IDC_OPTIONSLOW); }, 5000),
        "the console's choice of immediate detection ticks its radio button");
  Ask("console-slow-150");
  Check(WaitFor([&] { return Checked(main, IDC_OPTIONSLOW) && ItemText(main, IDC_TXTTIMERVAL) == L"150"; }, 5000),
        "the console's timer and interval show in the window");
  // Back to the default interval, one second, as the manual's picture shows it.
  Ask("console-timer-1");
  Check(WaitFor([&] { return ItemText(main, IDC_TXTTIMERVAL) == L"1"; }, 5000), "the default interval again");

  // The test receipt goes to COM1, the only identified port, from memory:
  // the host's exchange files never see it. The printer's log holds every
  // command it was sent, in order.
  const std::wstring logPath = syncDir + L"\\..\\ecr.log";
  auto count = [&](const char* text) {
    std::string log = ReadBytes(logPath);
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  DeleteFileW((dataDir + L"\\FINESCO.001").c_str());
  const int testsBefore = count("ARTICOLO 1");
  Click(main, IDC_CMBFILE);
  bool printed = WaitFor([&] { return count("ARTICOLO 1") > testsBefore; }, 60000) &&
                 WaitFor([&] { return ItemText(main, IDC_TEXT2) == L"QUILO1 TERMINATO : TUTTO OK"; }, 10000);
  Check(printed, "test receipt printed, \"QUILO1 TERMINATO : TUTTO OK\"");
  if (!printed)
    std::printf("Text1: %s\nText2: %s\n", Utf8(ItemText(main, IDC_TEXT1)).c_str(), Utf8(ItemText(main, IDC_TEXT2)).c_str());
  Check(!FileExists(dataDir + L"\\FINESCO.001") && !FileExists(dataDir + L"\\SR_DATI.001") &&
            !FileExists(dataDir + L"\\SR_START.001"),
        "the test receipt wrote none of the host's exchange files");
  Check(WaitFor([&] { return Enabled(main, IDC_CMBFILE); }, 10000), "\" Esegui Test\" enabled again after the job");

  Click(main, IDC_ANNULLO);
  Check(true, "\"Annulla Scontrino\" sent");
  Ask("shot-window");

  // " Esegui Test" and "Annulla Scontrino" clicked during a slow job wait
  // their turn: the customer's receipt, then the test receipt, then the
  // cancelling; the host's next document is converted as ever.
  if (!WriteBytes(syncDir + L"\\ecr-control", "delay 6 300\n")) Fatal("cannot write the printer's control file");
  Sleep(400);
  DeleteFileW((dataDir + L"\\FINESCO.001").c_str());
  if (!WriteBytes(dataDir + L"\\SR_DATI.001", "PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH;\r\n") ||
      !WriteBytes(dataDir + L"\\SR_START.001", ""))
    Fatal("cannot write a job");
  Check(WaitFor([&] { return ItemText(main, IDC_TEXT2) == L"TRASMISSIONE QUILO1 IN CORSO .."; }, 10000),
        "the slow job is running");
  Click(main, IDC_CMBFILE);
  Click(main, IDC_ANNULLO);
  auto last = [&](const char* text) {
    std::string log = ReadBytes(logPath);
    size_t at = log.rfind(text);
    return at == std::string::npos ? -1 : long(at);
  };
  Check(WaitFor([&] { return last("Annull.transazione") > last("PANE COMUNE"); }, 60000),
        "the cancelling came after the job");
  Check(last("PANE COMUNE") < last("ARTICOLO 1") && last("ARTICOLO 1") < last("Annull.transazione"),
        "the job's receipt, the test receipt, the cancelling, in that order");
  WriteBytes(syncDir + L"\\ecr-control", "clear\n");
  Check(WaitFor([&] { return Enabled(main, IDC_CMBFILE); }, 10000), "\" Esegui Test\" enabled again");
  WriteJob(dataDir);
  Check(WaitFor([&] { return FileExists(dataDir + L"\\FINESCO.001"); }, 20000) &&
            !FileExists(dataDir + L"\\SR_ERR.001"),
        "the host's next document is converted and printed");

  // A new taskbar (explorer restarted): the icon is added again; the double
  // click below goes to it.
  PostMessageW(main, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);

  // Minimised, the window hides; hidden, the test button does nothing.
  PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Check(WaitFor([&] { return !IsWindowVisible(main); }, 5000), "minimising hides the window");
  const int testsHidden = count("ARTICOLO 1");
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_CMBFILE, BN_CLICKED), LPARAM(GetDlgItem(main, IDC_CMBFILE)));
  Sleep(1500);
  Check(count("ARTICOLO 1") == testsHidden, "hidden, \" Esegui Test\" prints nothing");
  Ask("dblclick-icon");
  Check(WaitFor([&] { return IsWindowVisible(main) != 0; }, 5000), "a double click shows it again");

  // The manual: not installed here.
  PostMessageW(main, WM_COMMAND, IDM_MANUAL, 0);
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindOwn(pid, L"Quilo1")) != nullptr; }, 5000)) Fatal("no message for the manual");
  CheckText(box, IDC_MESSAGE_TEXT, L"File: C:\\ProgramData\\ZEDODER1\\dodarav1.pdf non trovato");
  JobWhileOpen(dataDir, box, "a message box");
  Click(box, IDOK);
  Check(WaitFor([&] { return !IsWindow(box); }, 5000), "the message closed by \"OK\"");

  // About, modal: the main window is disabled while it is up.
  PostMessageW(main, WM_COMMAND, IDM_INFO, 0);
  HWND about = nullptr;
  if (!WaitFor([&] { return (about = FindOwn(pid, L"Informazioni su Quilo1")) != nullptr; }, 5000))
    Fatal("About did not open");
  CheckText(about, IDC_ABOUT_VERSION, L"Versione 1.0.0.1");
  CheckText(about, IDC_ABOUT_TITLE, L"Quilo1 per sistemi Windows 32/64 bit");
  CheckText(about, IDOK, L"&OK");
  Check(!ItemText(about, IDC_ABOUT_COMMENTS).empty(), "About shows the comments");
  Check(!IsWindowEnabled(main), "the main window is disabled under About");
  Ask("shot-about");
  JobWhileOpen(dataDir, about, "About");
  // A slow job (the printer answers late) is running: "&OK" closes About at once.
  if (!WriteBytes(syncDir + L"\\ecr-control", "delay 8 300\n")) Fatal("cannot write the printer's control file");
  Sleep(400);  // the printer reads its control file five times a second
  WriteJob(dataDir);
  Check(WaitFor([&] { return ItemText(main, IDC_TEXT2) == L"TRASMISSIONE QUILO1 IN CORSO .."; }, 10000),
        "the slow job is running");
  Click(about, IDOK);
  Check(WaitFor([&] { return !IsWindow(about); }, 5000), "About closed by \"&OK\"");
  Check(!FileExists(dataDir + L"\\FINESCO.001"), "About closed while the slow job still ran");
  Check(WaitFor([&] { return FileExists(dataDir + L"\\FINESCO.001"); }, 30000), "the slow job printed");
  WriteBytes(syncDir + L"\\ecr-control", "clear\n");
  Check(IsWindowEnabled(main) != 0, "the main window is enabled again");

  // Closing from the menu: Form1 on top for at least a second, then the end.
  PostMessageW(main, WM_COMMAND, IDM_ESCI, 0);
  HWND form1 = nullptr;
  if (!WaitFor([&] { return (form1 = FindOwn(pid, L"Quilo1")) != nullptr; }, 5000)) Fatal("no closing notice");
  DWORD shownAt = GetTickCount();
  CheckText(form1, IDC_CLOSING_TEXT, L"Chiusura programma Quilo1 in corso ...");
  Check((GetWindowLongW(form1, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, "the closing notice is topmost");
  Check(!IsWindowVisible(main), "the main window is hidden while closing");
  WaitFor([&] { return !IsWindow(form1) || !IsWindowVisible(form1); }, 15000);
  DWORD shownFor = GetTickCount() - shownAt;
  Check(shownFor >= 900, "the closing notice stayed " + std::to_string(shownFor) + " ms");
  Check(WaitForSingleObject(process, 15000) == WAIT_OBJECT_0, "Quilo1.exe ended");
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  Check(code == 0, "exit code " + std::to_string(code));
  return failures ? 1 : 0;
}

// Windows asks whether the session may end, then says it goes on; asks
// again and ends it: the clean closing runs before WM_ENDSESSION returns.
int EndSession(const std::wstring& dataDir) {
  HWND main = WaitForMainWindow();
  DWORD pid = 0;
  GetWindowThreadProcessId(main, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  const std::wstring matr = dataDir + L"\\SR_MATR.001";
  Check(WaitFor([&] { return FileExists(matr); }, 60000), "COM1 identified (SR_MATR.001)");
  DWORD_PTR answer = 0;
  LRESULT sent = SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer);
  Check(sent != 0 && answer != 0, "WM_QUERYENDSESSION answered TRUE");
  Check(FileExists(matr), "the question alone closes nothing");
  SendMessageTimeoutW(main, WM_ENDSESSION, FALSE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer);
  WriteJob(dataDir);
  Check(WaitFor([&] { return FileExists(dataDir + L"\\FINESCO.001"); }, 10000),
        "WM_ENDSESSION FALSE: the program goes on serving jobs");
  Check(WaitForSingleObject(process, 0) == WAIT_TIMEOUT && FileExists(matr), "WM_ENDSESSION FALSE: still running");
  sent = SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer);
  Check(sent != 0 && answer != 0, "WM_QUERYENDSESSION answered TRUE again");
  SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 30000, &answer);
  Check(!FileExists(matr) && !FileExists(dataDir + L"\\FINESCO.001"),
        "WM_ENDSESSION TRUE: exchange files gone before it returns");
  Check(WaitForSingleObject(process, 15000) == WAIT_OBJECT_0, "Quilo1.exe ended");
  return failures ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"operate" && argc == 4) {
    syncDir = argv[2];
    return Operate(argv[3]);
  }
  if (mode == L"endsession" && argc == 3) return EndSession(argv[2]);
  std::fputs("usage: window_driver operate SYNC_DIR DATA_DIR | endsession DATA_DIR\n", stderr);
  return 2;
}
