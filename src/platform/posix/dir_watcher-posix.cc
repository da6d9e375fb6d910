// Directory change notifications on inotify: one descriptor in the loop.
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

#include "platform/dir_watcher.h"

namespace platform {
namespace {

class InotifySource : public DirChangeSource {
 public:
  InotifySource(EventLoop& loop, int fd, std::function<void(uint32_t)> onChange)
      : loop_(loop), fd_(fd), onChange_(std::move(onChange)) {
    handleId_ = loop_.AddHandle(fd_, [this] { Drain(); });
  }
  ~InotifySource() override {
    loop_.RemoveHandle(handleId_);
    close(fd_);
  }

  uint32_t Poll() override { return ReadKinds(); }

 private:
  void Drain() {
    uint32_t kinds = ReadKinds();
    if (kinds) onChange_(kinds);
  }
  uint32_t ReadKinds() {
    alignas(inotify_event) char buf[4096];
    uint32_t kinds = 0;
    for (;;) {
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        auto* ev = reinterpret_cast<inotify_event*>(buf + off);
        kinds |= KindsOf(ev->mask);
        off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
    return kinds;
  }
  // The same kinds the Win32 notifications would report for the event.
  static uint32_t KindsOf(uint32_t mask) {
    uint32_t k = 0;
    if (mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) k |= kChangeFileName;
    if (mask & IN_MODIFY) k |= kChangeSize | kChangeLastWrite;
    if (mask & IN_ATTRIB) k |= kChangeLastWrite;
    return k;
  }

  EventLoop& loop_;
  int fd_;
  int handleId_ = 0;
  std::function<void(uint32_t)> onChange_;
};

}  // namespace

std::unique_ptr<DirChangeSource> DirChangeSource::Open(EventLoop& loop, const std::string& dir, bool subTree,
                                                       std::function<void(uint32_t)> onChange) {
  int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return nullptr;
  uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_ATTRIB | IN_ONLYDIR;
  if (inotify_add_watch(fd, dir.c_str(), mask) < 0) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<InotifySource>(loop, fd, std::move(onChange));
}

}  // namespace platform
