// Single instance on POSIX: an exclusive flock on a file of the program
// directory, released by the system however the program ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/single_instance.h"

namespace platform {
namespace {

class FlockInstance : public InstanceLock {
 public:
  explicit FlockInstance(int fd) : fd_(fd) {}
  ~FlockInstance() override { close(fd_); }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& programDir) {
  std::string path = programDir + "/.quilo1.lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FlockInstance>(fd);
}

}  // namespace platform
