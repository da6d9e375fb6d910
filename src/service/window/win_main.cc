// Quilo1.exe: the resident Windows program. One copy per machine, a splash
// while it loads, then the hidden main window and its notification icon on
// this thread and the job service on its own, until the operator closes it
// or the session ends.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/single_instance.h"
#include "platform/system.h"
#include "service/log_lines.h"
#include "service/program.h"
#include "service/window/dialogs.h"
#include "service/window/main_window.h"
#include "service/window/program_log.h"
#include "service/window/service_thread.h"

namespace {

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

  service::window::ProgramLog log;
  service::window::MainWindow view(instance);
  view.SetNotes([&log](const std::string& text) {
    log.Write(service::StatusLine(platform::NowLocal(), 0, "Nota:", text));
  });
  // What the service shows: logged on its thread, then posted to the window.
  service::StatusView serviceView;
  serviceView.Subscribe(service::window::PostedToWindow(view, log));
  std::string instanceNote;
  auto instanceLock = platform::InstanceLock::Acquire("", nullptr, &instanceNote);
  if (!instanceLock) return 0;
  if (!instanceNote.empty()) view.Log(instanceNote);

  for (const std::string& a : unknownArgs) view.Log("argomento ignorato: " + a);

  std::unique_ptr<platform::EventLoop> windowLoop = platform::EventLoop::Create();
  std::unique_ptr<service::Program> program;
  std::unique_ptr<service::window::ServiceThread> service;
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
    service = std::make_unique<service::window::ServiceThread>(std::move(program), view, serviceView);
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

  while (!view.Finished()) {
    // No exception ends the program unseen: it is shown and the loop goes on.
    try {
      windowLoop->RunOnce(-1);
    } catch (const std::exception& e) {
      view.MessageBox(std::string("Errore: ") + e.what());
    } catch (...) {
      view.MessageBox("Errore imprevisto");
    }
  }
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
