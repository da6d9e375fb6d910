// Quilo1.exe: the resident Windows program. One copy per machine, a splash
// while it loads, then the hidden main window and its notification icon
// until the operator closes it or the session ends.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/single_instance.h"
#include "service/program.h"
#include "service/window/dialogs.h"
#include "service/window/main_window.h"

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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  SafeDllSearch();
  std::vector<std::string> argStrings = Arguments();
  std::vector<char*> argv;
  for (auto& a : argStrings) argv.push_back(a.data());
  service::ProgramArgs args;
  if (!service::ParseProgramArgs(int(argv.size()), argv.data(), &args)) {
    MessageBoxW(nullptr, service::window::Widen(service::kProgramUsage).c_str(), L"Quilo1", MB_OK | MB_ICONINFORMATION);
    return 2;
  }

  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&icc);

  service::window::MainWindow view(instance);
  std::string instanceNote;
  auto instanceLock = platform::InstanceLock::Acquire("", nullptr, &instanceNote);
  if (!instanceLock) return 0;
  if (!instanceNote.empty()) view.Log(instanceNote);

  std::unique_ptr<service::Program> program;
  try {
    view.ShowSplash();
    std::string error;
    if (!view.Create(&error)) throw std::runtime_error(error);
    program = service::Program::Create(args, view, &error);
    if (!program) {
      // The reason has been shown already.
      view.EndSplash();
      return 1;
    }
    view.Bind(program->loop(), program->actions(), program->settings(),
              program->directories().ownDataFolder + "\\dodarav1.pdf");
    program->Start();
    view.EndSplash();
  } catch (const std::system_error& e) {
    view.EndSplash();
    LoadingError(e.what(), e.code().value());
    return 1;
  } catch (const std::exception& e) {
    view.EndSplash();
    LoadingError(e.what(), 0);
    return 1;
  }

  while (!program->Finished()) {
    // No exception ends the program unseen: it is shown and the loop goes on.
    try {
      program->loop().RunOnce(-1);
    } catch (const std::exception& e) {
      view.MessageBox(std::string("Errore: ") + e.what());
    } catch (...) {
      view.MessageBox("Errore imprevisto");
    }
  }
  view.FinishClosing();
  program.reset();
  return 0;
}
