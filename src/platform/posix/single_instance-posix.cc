// Single instance on POSIX: an exclusive flock on the program directory
// itself, released by the system however the program ends. The directory
// needs no write access, so an installed, read-only copy still runs.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

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

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& programDir) {
  int fd = open(programDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
