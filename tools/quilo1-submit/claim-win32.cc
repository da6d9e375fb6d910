// The port's claim over Win32: MoveFileEx without MOVEFILE_REPLACE_EXISTING
// fails when the name is taken. The owner is not looked up: a shared folder
// there is a share, whose rights the server judges.
#include <windows.h>

#include "claim.h"
#include "platform/win32/wide_text.h"

namespace submit {

ClaimResult MoveIfFree(const std::string& from, const std::string& to, std::string* error) {
  if (::MoveFileExW(platform::Widen(from).c_str(), platform::Widen(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return ClaimResult::kDone;
  const DWORD code = ::GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return ClaimResult::kTaken;
  *error = "Win32 error " + std::to_string(code);
  return ClaimResult::kFailed;
}

std::string OtherOwner(const std::string&) { return {}; }

}  // namespace submit
