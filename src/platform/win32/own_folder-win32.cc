// The program's own folder on Windows: "Quilo1" under the shared
// application data, the current user's alone. Users may create folders
// there, so one found in place is taken only when it is a real folder that
// the user, SYSTEM or the Administrators own.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

#include "platform/folders.h"
#include "platform/own_folder.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

std::string Failure(const char* what) { return std::string(what) + ": errore " + std::to_string(GetLastError()); }

struct LocalFreeDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

}  // namespace

bool OwnDataFolder(const std::string&, std::string* folder, std::string* error) {
  std::string shared;
  if (!CommonAppDataFolder(&shared) || shared.empty()) {
    *error = "cartella dei dati comuni non trovata";
    return false;
  }
  *folder = shared + "\\Quilo1";

  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    *error = Failure("OpenProcessToken");
    return false;
  }
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size ? size : 1);
  const bool gotUser = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  CloseHandle(token);
  if (!gotUser) {
    *error = Failure("GetTokenInformation");
    return false;
  }
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  LPWSTR userText = nullptr;
  if (!ConvertSidToStringSidW(user, &userText)) {
    *error = Failure("ConvertSidToStringSid");
    return false;
  }
  std::unique_ptr<void, LocalFreeDeleter> userTextOwner(userText);
  // Owner the user; full control to the user, SYSTEM and Administrators,
  // inherited by files and folders; nothing from the parent.
  const std::wstring sddl = std::wstring(L"O:") + userText + L"D:P(A;OICI;FA;;;" + userText +
                            L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &sd, nullptr)) {
    *error = Failure("ConvertStringSecurityDescriptorToSecurityDescriptor");
    return false;
  }
  std::unique_ptr<void, LocalFreeDeleter> sdOwner(sd);

  const std::wstring wide = Widen(*folder);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, sd, FALSE};
  if (!CreateDirectoryW(wide.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *error = Failure(folder->c_str());
    return false;
  }
  // What was found there is looked at through one handle, never through a
  // reparse point.
  HANDLE dir = CreateFileW(wide.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (dir == INVALID_HANDLE_VALUE) {
    *error = Failure(folder->c_str());
    return false;
  }
  bool ok = false;
  BY_HANDLE_FILE_INFORMATION info = {};
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR found = nullptr;
  if (!GetFileInformationByHandle(dir, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    *error = *folder + ": non \xE8 una cartella";
  } else if (GetSecurityInfo(dir, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                             &found) != ERROR_SUCCESS) {
    *error = Failure("GetSecurityInfo");
  } else if (!EqualSid(owner, user) && !IsWellKnownSid(owner, WinLocalSystemSid) &&
             !IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) {
    *error = *folder + ": appartiene a un altro utente";
  } else {
    PACL dacl = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
    // Set again each time: a folder of an older run, or one an
    // administrator opened up, gets the rights above.
    DWORD result = SetSecurityInfo(dir, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                   nullptr, nullptr, dacl, nullptr);
    ok = result == ERROR_SUCCESS;
    if (!ok) *error = *folder + ": permessi non impostati: errore " + std::to_string(result);
  }
  if (found) LocalFree(found);
  CloseHandle(dir);
  return ok;
}

}  // namespace platform
