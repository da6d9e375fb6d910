// The port's claim over Win32: LockFileEx on a lock file, waited for through
// an event so that the wait has an end (the system drops the lock with the
// last handle, also when the process is killed); MoveFileEx without
// MOVEFILE_REPLACE_EXISTING, which fails when the name is taken. The owner
// is not looked up: a shared folder there is a share, whose rights the
// server judges.
#include <windows.h>

#include "claim.h"
#include "platform/win32/wide_text.h"

namespace submit {

namespace {

std::string Win32Error(DWORD code) { return "Win32 error " + std::to_string(code); }

class Win32PortLock : public PortLock {
 public:
  explicit Win32PortLock(HANDLE file) : file_(file) {}
  ~Win32PortLock() override { ::CloseHandle(file_); }

 private:
  HANDLE file_;
};

// The lock file, opened without following a link planted at its name.
HANDLE OpenLockFile(const std::string& path, std::string* error) {
  HANDLE file = ::CreateFileW(platform::Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = Win32Error(::GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    ::CloseHandle(file);
    *error = "not a regular file";
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

ClaimResult LockWithin(HANDLE file, int64_t waitMs, std::string* error) {
  OVERLAPPED request{};
  request.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!request.hEvent) {
    *error = Win32Error(::GetLastError());
    return ClaimResult::kFailed;
  }
  const DWORD waitFor = DWORD(waitMs < 0 ? 0 : waitMs < INFINITE ? waitMs : INFINITE - 1);
  ClaimResult result = ClaimResult::kDone;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &request)) {
    const DWORD code = ::GetLastError();
    DWORD ignored = 0;
    if (code != ERROR_IO_PENDING) {
      *error = Win32Error(code);
      result = ClaimResult::kFailed;
    } else if (::WaitForSingleObject(request.hEvent, waitFor) == WAIT_OBJECT_0) {
      if (!::GetOverlappedResult(file, &request, &ignored, FALSE)) {
        *error = Win32Error(::GetLastError());
        result = ClaimResult::kFailed;
      }
    } else {
      // The lock may still come between the time-out and the cancel: then
      // it is held after all.
      ::CancelIoEx(file, &request);
      if (!::GetOverlappedResult(file, &request, &ignored, TRUE)) result = ClaimResult::kTaken;
    }
  }
  ::CloseHandle(request.hEvent);
  return result;
}

}  // namespace

std::unique_ptr<PortLock> PortLock::Take(const std::string& path, int64_t waitMs, ClaimResult* result,
                                         std::string* error) {
  HANDLE file = OpenLockFile(path, error);
  if (file == INVALID_HANDLE_VALUE) {
    *result = ClaimResult::kFailed;
    return nullptr;
  }
  *result = LockWithin(file, waitMs, error);
  if (*result != ClaimResult::kDone) {
    ::CloseHandle(file);
    return nullptr;
  }
  return std::make_unique<Win32PortLock>(file);
}

ClaimResult MoveIfFree(const std::string& from, const std::string& to, std::string* error) {
  if (::MoveFileExW(platform::Widen(from).c_str(), platform::Widen(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return ClaimResult::kDone;
  const DWORD code = ::GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return ClaimResult::kTaken;
  *error = Win32Error(code);
  return ClaimResult::kFailed;
}

std::string OtherOwner(const std::string&) { return {}; }

}  // namespace submit
