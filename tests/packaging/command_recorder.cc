// Stands in for a system program (icacls.exe) in the installer test: appends
// its own command line, as UTF-8, to the file named by QUILO1_RECORD and
// succeeds. Wine's own icacls only logs its arguments, and that log is not
// reliable enough for a check.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH];
  if (!GetEnvironmentVariableW(L"QUILO1_RECORD", path, MAX_PATH)) return 2;
  const wchar_t* line = GetCommandLineW();
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string text(size_t(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), n, nullptr, nullptr);
  text += "\n";
  HANDLE h = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 3;
  DWORD written = 0;
  BOOL ok = WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == text.size() ? 0 : 4;
}
