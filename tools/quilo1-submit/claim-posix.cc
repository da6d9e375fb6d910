// The port's claim over POSIX: renameat2 without replacing where the kernel
// and the file system have it, else a hard link (which never replaces
// either) and the temporary name removed.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "claim.h"

namespace submit {

ClaimResult MoveIfFree(const std::string& from, const std::string& to, std::string* error) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return ClaimResult::kDone;
  if (errno == EEXIST) return ClaimResult::kTaken;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
    *error = std::strerror(errno);
    return ClaimResult::kFailed;
  }
#endif
  if (::link(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return ClaimResult::kTaken;
    *error = std::strerror(errno);
    return ClaimResult::kFailed;
  }
  ::unlink(from.c_str());
  return ClaimResult::kDone;
}

std::string OtherOwner(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return {};
  return "uid " + std::to_string(st.st_uid);
}

}  // namespace submit
