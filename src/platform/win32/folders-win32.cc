// Windows version, the common application-data folder and directory tests,
// all through the ANSI functions so paths stay bytes.
#include <windows.h>
#include <shlobj.h>

#include "platform/folders.h"

namespace platform {
namespace {

struct OsVersion {
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform;
  WCHAR service_pack[128];
};

using RtlGetVersionFn = LONG(WINAPI*)(OsVersion*);

}  // namespace

bool IsNtVersion6() {
  // RtlGetVersion tells the truth whatever the manifest says; a program
  // without one sees every release from Vista on as 6.x, hence "6 or more".
  OsVersion v = {};
  v.size = sizeof v;
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  FARPROC proc = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
  if (proc) {
    auto get = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(proc));
    if (get(&v) != 0) return false;
  } else {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    v.major = info.dwMajorVersion;
    v.platform = info.dwPlatformId;
  }
  return v.platform == VER_PLATFORM_WIN32_NT && v.major >= 6;
}

bool CommonAppDataFolder(std::string* path) {
  char buffer[MAX_PATH + 1] = {};
  path->clear();
  if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                              SHGFP_TYPE_CURRENT, buffer)))
    return false;
  *path = buffer;
  while (path->size() > 3 && path->back() == '\\') path->pop_back();
  return true;
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
