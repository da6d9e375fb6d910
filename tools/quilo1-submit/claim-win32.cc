// The port's claim over Win32: LockFileEx on a lock file (the system drops
// the lock with the last handle, also when the process is killed), waited
// for in a thread of its own so that the wait has an end (Wine leaves an
// overlapped lock wait pending for good); MoveFileEx without
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
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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

// One blocking lock request, run by its own thread.
struct LockRequest {
  HANDLE file;
  BOOL locked = FALSE;
  DWORD code = 0;
};

DWORD WINAPI RequestLock(void* arg) {
  auto* request = static_cast<LockRequest*>(arg);
  OVERLAPPED at{};
  request->locked = ::LockFileEx(request->file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
  if (!request->locked) request->code = ::GetLastError();
  return 0;
}

// `pending` is set when a request that could not be called off is left to
// the end of the process, with its file.
ClaimResult LockWithin(HANDLE file, int64_t waitMs, bool* pending, std::string* error) {
  OVERLAPPED at{};
  if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
    return ClaimResult::kDone;
  auto* request = new LockRequest{file};
  HANDLE thread = ::CreateThread(nullptr, 0, RequestLock, request, 0, nullptr);
  if (!thread) {
    delete request;
    *error = Win32Error(::GetLastError());
    return ClaimResult::kFailed;
  }
  const DWORD waitFor = DWORD(waitMs < 0 ? 0 : waitMs < INFINITE ? waitMs : INFINITE - 1);
  if (::WaitForSingleObject(thread, waitFor) != WAIT_OBJECT_0) {
    // Past the time: the request is called off. Where the system cannot call
    // it off, the thread, its request and the file stay to the end of the
    // process, which ends at once on this answer.
    ::CancelSynchronousIo(thread);
    if (::WaitForSingleObject(thread, 200) != WAIT_OBJECT_0) {
      ::CloseHandle(thread);
      *pending = true;
      return ClaimResult::kTaken;
    }
  }
  ::CloseHandle(thread);
  const LockRequest done = *request;
  delete request;
  if (done.locked) return ClaimResult::kDone;
  if (done.code == ERROR_OPERATION_ABORTED) return ClaimResult::kTaken;
  *error = Win32Error(done.code);
  return ClaimResult::kFailed;
}

}  // namespace

std::unique_ptr<PortLock> PortLock::Take(const std::string& path, int64_t waitMs, ClaimResult* result,
                                         std::string* error) {
  HANDLE file = OpenLockFile(path, error);
  if (file == INVALID_HANDLE_VALUE) {
    *result = ClaimResult::kFailed;
    return nullptr;
  }
  bool pending = false;
  *result = LockWithin(file, waitMs, &pending, error);
  if (*result != ClaimResult::kDone) {
    if (!pending) ::CloseHandle(file);
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
