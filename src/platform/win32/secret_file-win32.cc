// Secret files and random bytes on Windows: a temporary file replaced in one
// move in the user's own application data, and the system's RtlGenRandom.
#include <windows.h>
#include <ntsecapi.h>
#include <shlobj.h>

#include "platform/secret_file.h"
#include "platform/win32/wide_text.h"

namespace platform {

bool ReadSecretFile(const std::string& path, std::string* contents) {
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buf[4096];
  DWORD n = 0;
  bool ok = GetFileType(h) == FILE_TYPE_DISK && ReadFile(h, buf, sizeof buf, &n, nullptr);
  CloseHandle(h);
  if (ok) contents->assign(buf, n);
  return ok;
}

std::string SecretFolder(const std::string& programDir) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    return programDir;
  std::wstring folder = std::wstring(buffer) + L"\\Quilo1";
  CreateDirectoryW(folder.c_str(), nullptr);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return programDir;
  return Narrow(folder);
}

bool WriteSecretFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::wstring temp = Widen(path + ".tmp");
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = path + ": errore " + std::to_string(GetLastError());
    return false;
  }
  DWORD n = 0;
  bool ok = WriteFile(h, bytes.data(), DWORD(bytes.size()), &n, nullptr) && n == bytes.size() && FlushFileBuffers(h);
  CloseHandle(h);
  if (ok && MoveFileExW(temp.c_str(), Widen(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  *error = path + ": errore " + std::to_string(GetLastError());
  DeleteFileW(temp.c_str());
  return false;
}

bool RandomBytes(size_t n, std::string* out) {
  out->assign(n, '\0');
  return RtlGenRandom(out->data(), ULONG(n));
}

}  // namespace platform
