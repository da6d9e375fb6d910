// Quilo1.exe: the resident Windows program. One copy per machine, a splash
// while it loads, then the hidden main window and its notification icon
// until the operator closes it or the session ends.
#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "service/program.h"
#include "service/window/dialogs.h"
#include "service/window/main_window.h"

namespace {

const wchar_t kInstanceName[] = L"Quilo1.SingleInstance";

// Global\ so that a second copy in another session ends too; a mutex that
// anyone may open, so that such a copy sees "already exists" and not
// "access denied". Local\ only where global objects may not be made.
// Null when another copy runs.
HANDLE AcquireInstance(service::StatusView& view, bool* ok) {
  *ok = true;
  SECURITY_ATTRIBUTES sa{};
  sa.nLength = sizeof sa;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1, &sd, nullptr))
    sa.lpSecurityDescriptor = sd;
  HANDLE h = CreateMutexW(&sa, FALSE, (std::wstring(L"Global\\") + kInstanceName).c_str());
  DWORD err = GetLastError();
  if (!h && err == ERROR_ACCESS_DENIED) {
    view.Log("Mutex Global\\ non consentito, uso Local\\");
    h = CreateMutexW(&sa, FALSE, (std::wstring(L"Local\\") + kInstanceName).c_str());
    err = GetLastError();
  }
  if (sd) LocalFree(sd);
  if (h && err == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    *ok = false;
    return nullptr;
  }
  if (!h) view.Log("Mutex di istanza non creato (" + std::to_string(err) + ")");
  return h;
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
  bool first = true;
  HANDLE instanceMutex = AcquireInstance(view, &first);
  if (!first) return 0;

  std::unique_ptr<service::Program> program;
  try {
    view.ShowSplash();
    std::string error;
    if (!view.Create(&error)) throw std::runtime_error(error);
    program = service::Program::Create(args, view, &error);
    if (!program) {
      // The reason has been shown already.
      view.EndSplash();
      if (instanceMutex) CloseHandle(instanceMutex);
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
  if (instanceMutex) CloseHandle(instanceMutex);
  return 0;
}
