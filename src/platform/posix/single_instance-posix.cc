// Single instance on POSIX: an exclusive flock, released by the system
// however the program ends. Under systemd (RUNTIME_DIRECTORY set by
// RuntimeDirectory=) on a 0600 file there, which no other user can open and
// so hold; otherwise on the program directory itself, which needs no write
// access, so an installed, read-only copy still runs.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/single_instance.h"

namespace platform {
namespace {

class FlockInstance : public InstanceLock {
 public:
  explicit FlockInstance(int fd) : fd_(fd) {}
  ~FlockInstance() override {
    if (fd_ >= 0) close(fd_);
  }

 private:
  int fd_;
};

// The runtime lock file, or empty outside systemd. systemd lists several
// runtime directories with ":"; the first is the service's own.
std::string RuntimeLockFile() {
  const char* dirs = std::getenv("RUNTIME_DIRECTORY");
  if (!dirs || !*dirs) return std::string();
  std::string first(dirs, strcspn(dirs, ":"));
  return first + "/quilo1.lock";
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& programDir, std::string* name,
                                                    std::string* note) {
  if (note) note->clear();
  std::string path = RuntimeLockFile();
  int fd = -1;
  if (!path.empty()) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      fchmod(fd, 0600);
    } else if (note) {
      *note = "lock " + path + ": " + std::strerror(errno) + "; using " + programDir;
    }
  }
  if (fd < 0) {
    path = programDir;
    fd = open(programDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (name) *name = path;
  // Nothing to lock on: only another holder of the lock may stop this copy.
  if (fd < 0) return std::make_unique<FlockInstance>(-1);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    bool held = errno == EWOULDBLOCK;
    close(fd);
    if (held) return nullptr;
    return std::make_unique<FlockInstance>(-1);
  }
  return std::make_unique<FlockInstance>(fd);
}

}  // namespace platform
