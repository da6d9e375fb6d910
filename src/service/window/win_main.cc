// Quilo1.exe: the resident Windows program. One copy per machine, a splash
// while it loads, then the hidden main window and its notification icon on
// this thread and the job service on its own, until the operator closes it
// or the session ends.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/single_instance.h"
#include "platform/system.h"
#include "service/log_lines.h"
#include "service/program.h"
#include "service/pruning.h"
#include "service/status_view.h"
#include "service/window/main_window.h"
#include "settings/date_time.h"

namespace {

using service::window::MainWindow;
using service::window::Narrow;
using service::window::ShowingErrors;
using service::window::Widen;

int Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return t.wYear * 10000 + t.wMonth * 100 + t.wDay;
}

int64_t DaysOf(long yyyymmdd) {
  return settings::DaysFromCivil(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100);
}

// Quilo1.exe's log: the daemon's time-stamped status lines, kept in a daily
// file Quilo1-YYYYMMDD.log of the data directory for thirty days.
class ProgramLog {
 public:
  // One line, from any thread: to standard error at once, to the file once
  // the data directory is known.
  void Write(const std::string& line) {
    std::string l = line + "\n";
    OutputDebugStringA(l.c_str());
    std::fwrite(l.data(), 1, l.size(), stderr);
    std::fflush(stderr);
    AcquireSRWLockExclusive(&lock_);
    if (dir_.empty()) {
      early_.push_back(line);
    } else {
      Append(line);
    }
    ReleaseSRWLockExclusive(&lock_);
  }

  // The lines so far go into the file; logs older than thirty days are removed.
  void SetDirectory(const std::string& dataDir) {
    AcquireSRWLockExclusive(&lock_);
    dir_ = dataDir;
    const int today = Today();
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Widen(dir_ + "\\Quilo1-*.log").c_str(), &found);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &found)) {
      const std::string name = Narrow(found.cFileName);
      const long day = service::RecordDate(name);
      if (day != 0 && DaysOf(today) - DaysOf(day) >= 30) DeleteFileW(Widen(dir_ + "\\" + name).c_str());
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    for (const std::string& line : early_) Append(line);
    early_.clear();
    ReleaseSRWLockExclusive(&lock_);
  }

 private:
  // Opened for each line, so that the day's file changes at midnight and the
  // operator may open or move the file meanwhile.
  void Append(const std::string& line) {
    std::wstring path = Widen(dir_ + "\\Quilo1-" + std::to_string(Today()) + ".log");
    HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string bytes = line + "\r\n";
    DWORD written = 0;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(f);
  }

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::string dir_;
  std::vector<std::string> early_;  // before the directory is known
};

// DLLs the program loads by name come from System32 only, never from the
// program's folder or the current directory. Looked up, since systems
// without the loader update lack the call.
void SafeDllSearch() {
  using SetDirs = BOOL(WINAPI*)(DWORD);
  auto set = reinterpret_cast<SetDirs>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (set) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::vector<std::string> Arguments() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    int n = WideCharToMultiByte(CP_ACP, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string a(size_t(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_ACP, 0, argv[i], -1, a.data(), n, nullptr, nullptr);
    args.push_back(a);
  }
  LocalFree(argv);
  return args;
}

void LoadingError(const std::string& text, long number) {
  std::wstring message = service::window::Widen(text + " - " + std::to_string(number));
  MessageBoxW(nullptr, message.c_str(), L"Errore durante il caricamento dell'applicazione",
              MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND);
}

// Under Wine a DLL loaded after the service's first serial wait can hang the
// loader (see the Wine notes): what the window thread may load late, for
// menus, sounds, themes and the manual, is loaded before the service starts.
void PreloadLibraries() {
  for (const wchar_t* dll : {L"uxtheme.dll", L"msimg32.dll", L"winmm.dll", L"ole32.dll", L"oleaut32.dll", L"shlwapi.dll"})
    LoadLibraryW(dll);
}

// The job service on a thread of its own, with its own event loop: printer
// waits never run window code, and menus, boxes and dragging on the window
// thread never hold up a job. The two threads only post: the operator's
// actions come as closures, run in order by the service's loop.
class ServiceThread {
 public:
  // The program is destroyed on the service's thread too, after its loop:
  // its port and watcher end their waits on the thread that started them.
  // `view` is the one the program shows its state through.
  ServiceThread(std::unique_ptr<service::Program> program, MainWindow& window, service::StatusView& view)
      : program_(std::move(program)), window_(window), view_(view) {}
  ~ServiceThread() {
    Join();
    CloseHandle(queued_);
  }

  // The job service's start-up, then its loop until the program has
  // finished; then the window is told (MainWindow::ServiceEnded).
  bool Start(std::string* error) {
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (!thread_) *error = "CreateThread: " + std::to_string(GetLastError());
    return thread_ != nullptr;
  }
  void Join() {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  // What stopped the service's start-up, empty when it started.
  const std::string& startError() const { return startError_; }

  // From the window thread: `action` runs on the service's loop, in order.
  void Post(std::function<void(service::OperatorActions&)> action) {
    AcquireSRWLockExclusive(&lock_);
    actions_.push_back([this, action = std::move(action)] { action(program_->actions()); });
    ReleaseSRWLockExclusive(&lock_);
    SetEvent(queued_);
  }

 private:
  static DWORD WINAPI ThreadMain(void* self) {
    static_cast<ServiceThread*>(self)->Run();
    return 0;
  }

  void Run() {
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
    while (startError_.empty() && !program_->Finished()) ShowingErrors([&loop] { loop.RunOnce(-1); }, Message());
    loop.RemoveHandle(handle);
    program_.reset();
    window_.Post([w = &window_] { w->ServiceEnded(); });
  }

  // One at a time: an action that waits (the closing) lets the next ones run
  // from its wait, still in order.
  void RunQueued() {
    for (;;) {
      AcquireSRWLockExclusive(&lock_);
      if (actions_.empty()) {
        ReleaseSRWLockExclusive(&lock_);
        return;
      }
      std::function<void()> action = std::move(actions_.front());
      actions_.pop_front();
      ReleaseSRWLockExclusive(&lock_);
      ShowingErrors(action, Message());
    }
  }

  std::function<void(const std::string&)> Message() {
    return [this](const std::string& text) { view_.Message(text); };
  }

  std::unique_ptr<service::Program> program_;
  MainWindow& window_;
  service::StatusView& view_;
  HANDLE thread_ = nullptr;
  HANDLE queued_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // set while actions wait
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::deque<std::function<void()>> actions_;
  std::string startError_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  SafeDllSearch();
  std::vector<std::string> argStrings = Arguments();
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  service::ProgramArgs args;
  // What a shortcut or an installer adds that we do not know is noted, not refused.
  std::vector<std::string> unknownArgs;
  service::ParseProgramArgs(int(argv.size()), argv.data(), &args, &unknownArgs);

  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&icc);

  ProgramLog log;
  MainWindow view(instance);
  view.SetNotes([&log](const std::string& text) {
    log.Write(service::StatusLine(platform::NowLocal(), 0, "Nota:", text));
  });
  // What the service shows: logged on its thread, then posted to the window
  // with a copy of the state.
  service::StatusView serviceView;
  auto lines = service::LogLines([&log](const std::string& line) { log.Write(line); });
  serviceView.Subscribe([&view, &log, lines](const service::ServiceState& state, service::StateChange change) {
    if (change.what == service::Shown::kDataDirectory) log.SetDirectory(state.dataDirectory);
    lines(state, change);
    view.Post([&view, state, change] { view.Show(state, change); });
  });
  std::string instanceNote;
  auto instanceLock = platform::InstanceLock::Acquire("", nullptr, &instanceNote);
  if (!instanceLock) return 0;
  if (!instanceNote.empty()) view.Log(instanceNote);

  for (const std::string& a : unknownArgs) view.Log("argomento ignorato: " + a);

  std::unique_ptr<platform::EventLoop> windowLoop = platform::EventLoop::Create();
  std::unique_ptr<service::Program> program;
  std::unique_ptr<ServiceThread> service;
  try {
    view.ShowSplash();
    std::string error;
    if (!view.Create(&error)) throw std::runtime_error(error);
    // Built on this thread, which shows its messages at once; from Start on
    // the program belongs to the service's thread.
    program = service::Program::Create(args, serviceView, &error);
    if (!program) {
      // The reason has been shown already.
      view.EndSplash();
      return 1;
    }
    view.SetConsoleUrl(program->ConsoleUrl());
    const settings::Settings& loaded = program->settings();
    std::string manual = program->directories().ownDataFolder + "\\dodarav1.pdf";
    service = std::make_unique<ServiceThread>(std::move(program), view, serviceView);
    // The settings as loaded, read before the service's thread starts.
    view.Bind(
        *windowLoop, [thread = service.get()](auto action) { thread->Post(std::move(action)); }, loaded, manual);
    PreloadLibraries();
    // The splash goes once the service has probed the ports.
    if (!service->Start(&error)) throw std::runtime_error(error);
  } catch (const std::system_error& e) {
    view.EndSplash();
    LoadingError(e.what(), e.code().value());
    return 1;
  } catch (const std::exception& e) {
    view.EndSplash();
    LoadingError(e.what(), 0);
    return 1;
  }

  while (!view.Finished())
    ShowingErrors([&] { windowLoop->RunOnce(-1); }, [&view](const std::string& text) { view.MessageBox(text); });
  service->Join();
  if (!service->startError().empty()) {
    view.EndSplash();
    LoadingError(service->startError(), 0);
    return 1;
  }
  view.FinishClosing();
  service.reset();
  return 0;
}
