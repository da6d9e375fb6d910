// The port's claim over POSIX: flock on a lock file (released by the kernel
// when the process ends), renameat2 without replacing where the kernel and
// the file system have it, else a hard link (which never replaces either)
// and the temporary name removed.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "claim.h"

namespace submit {

namespace {

class PosixPortLock : public PortLock {
 public:
  explicit PosixPortLock(int fd) : fd_(fd) {}
  ~PosixPortLock() override { ::close(fd_); }

 private:
  int fd_;
};

void Interrupt(int) {}

// The lock file, made readable to the other users of the folder (a read-only
// descriptor is enough for flock). Another user's file is opened, not made
// again: a sticky folder refuses O_CREAT on it.
int OpenLockFile(const std::string& path, std::string* error) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = -1;
  for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
    fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd >= 0) {
      ::fchmod(fd, 0644);  // whatever the umask, others must open it too
    } else if (errno == EEXIST) {
      fd = ::open(path.c_str(), flags);
      if (fd < 0 && errno != ENOENT) break;
    } else {
      break;
    }
  }
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = "not a regular file";
    return -1;
  }
  return fd;
}

// Blocks in flock until the lock comes or `waitMs` has passed. A timer
// signal, first at the end of the wait and then every 50 ms, cuts the wait
// short: one that lands just before flock is entered is followed by another.
ClaimResult LockWithin(int fd, int64_t waitMs, std::string* error) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return ClaimResult::kDone;
  if (errno != EWOULDBLOCK) {
    *error = std::strerror(errno);
    return ClaimResult::kFailed;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  struct sigaction cut {}, old {};
  cut.sa_handler = Interrupt;  // no SA_RESTART: flock returns EINTR
  sigemptyset(&cut.sa_mask);
  ::sigaction(SIGALRM, &cut, &old);
  // A mask inherited from the caller must not keep the signal out.
  sigset_t alarm, oldMask;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  ::sigprocmask(SIG_UNBLOCK, &alarm, &oldMask);
  itimerval timer{}, oldTimer{};
  const int64_t firstMs = waitMs > 0 ? waitMs : 1;
  timer.it_value = {time_t(firstMs / 1000), suseconds_t(firstMs % 1000 * 1000)};
  timer.it_interval = {0, 50000};
  ::setitimer(ITIMER_REAL, &timer, &oldTimer);
  ClaimResult result = ClaimResult::kTaken;
  while (std::chrono::steady_clock::now() < deadline) {
    if (::flock(fd, LOCK_EX) == 0) {
      result = ClaimResult::kDone;
      break;
    }
    if (errno != EINTR) {
      *error = std::strerror(errno);
      result = ClaimResult::kFailed;
      break;
    }
  }
  ::setitimer(ITIMER_REAL, &oldTimer, nullptr);
  ::sigprocmask(SIG_SETMASK, &oldMask, nullptr);
  ::sigaction(SIGALRM, &old, nullptr);
  return result;
}

}  // namespace

std::unique_ptr<PortLock> PortLock::Take(const std::string& path, int64_t waitMs, ClaimResult* result,
                                         std::string* error) {
  const int fd = OpenLockFile(path, error);
  if (fd < 0) {
    *result = ClaimResult::kFailed;
    return nullptr;
  }
  *result = LockWithin(fd, waitMs, error);
  if (*result != ClaimResult::kDone) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixPortLock>(fd);
}

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
