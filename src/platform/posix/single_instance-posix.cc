// Single instance on POSIX: an exclusive flock, released by the system
// however the program ends, on a 0600 file no other user can open and so
// hold: in the runtime directory under systemd (RUNTIME_DIRECTORY set by
// RuntimeDirectory=), else "quilo1.lock" in the program directory. Only a
// copy that cannot create that file (a read-only directory) locks the
// directory itself, which any reader could hold, and says so.
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

// Opens or creates the lock file as ours alone: no link (O_NOFOLLOW), a
// regular file of our own with no other name, then 0600. -1 with `*why`
// otherwise, and a file of another user or with a second name is left as
// it is.
int OpenLockFile(const std::string& path, std::string* why) {
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    *why = std::strerror(errno);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
    *why = "not a file of this user alone";
    close(fd);
    return -1;
  }
  if ((st.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0) {
    *why = std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& programDir, std::string* name,
                                                    std::string* note) {
  if (note) note->clear();
  std::string runtime = RuntimeLockFile();
  std::string path = runtime.empty() ? programDir + "/quilo1.lock" : runtime;
  std::string why;
  int fd = OpenLockFile(path, &why);
  if (fd < 0 && !runtime.empty()) {
    if (note) *note = "lock " + path + ": " + why + "; using " + programDir + "/quilo1.lock";
    path = programDir + "/quilo1.lock";
    fd = OpenLockFile(path, &why);
  }
  if (fd < 0) {
    if (note) *note += (note->empty() ? "" : "; ") + ("lock " + path + ": " + why + "; locking " + programDir +
                                                       ", which any user who can read it could hold");
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
