// POSIX event loop: poll() over the registered descriptors and a self-pipe.
#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/event_loop.h"
#include "platform/timer_queue.h"

namespace platform {
namespace {

class PosixEventLoop : public EventLoop {
 public:
  PosixEventLoop() {
    if (pipe(wake_) == 0) {
      for (int fd : wake_) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
      }
    }
  }
  ~PosixEventLoop() override {
    close(wake_[0]);
    close(wake_[1]);
  }

  int64_t NowMs() override {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
  int AddTimer(int64_t delay_ms, std::function<void()> fn) override {
    return timers_.Add(NowMs() + (delay_ms < 0 ? 0 : delay_ms), std::move(fn));
  }
  void CancelTimer(int id) override { timers_.Cancel(id); }

  int AddHandle(NativeHandle handle, std::function<void()> fn) override {
    handles_.push_back({++last_handle_id_, int(handle), std::make_shared<std::function<void()>>(std::move(fn))});
    return last_handle_id_;
  }
  void RemoveHandle(int id) override {
    for (auto it = handles_.begin(); it != handles_.end(); ++it) {
      if (it->id == id) {
        handles_.erase(it);
        return;
      }
    }
  }

  void RunOnce(int64_t timeout_ms) override {
    if (timers_.RunOneDue(NowMs())) return;
    int64_t wait = timeout_ms;
    if (!timers_.Empty()) {
      int64_t until_timer = timers_.NextDue() - NowMs();
      if (until_timer < 0) until_timer = 0;
      if (wait < 0 || until_timer < wait) wait = until_timer;
    }
    std::vector<pollfd> fds;
    std::vector<int> ids;
    fds.push_back({wake_[0], POLLIN, 0});
    ids.push_back(0);
    for (const auto& h : handles_) {
      fds.push_back({h.fd, POLLIN, 0});
      ids.push_back(h.id);
    }
    int n = poll(fds.data(), fds.size(), wait > INT32_MAX ? INT32_MAX : int(wait));
    if (n > 0) {
      if (fds[0].revents) {
        char buf[64];
        while (read(wake_[0], buf, sizeof buf) > 0) {
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        // The callback may remove handles or nest another RunOnce: look the
        // handler up again and keep it alive while it runs.
        for (const auto& h : handles_) {
          if (h.id == ids[i]) {
            auto fn = h.fn;
            (*fn)();
            return;
          }
        }
      }
      return;
    }
    timers_.RunOneDue(NowMs());
  }

  void Wake() override {
    char c = 1;
    [[maybe_unused]] ssize_t r = write(wake_[1], &c, 1);
  }

 private:
  struct Handle {
    int id;
    int fd;
    std::shared_ptr<std::function<void()>> fn;
  };
  int wake_[2] = {-1, -1};
  TimerQueue timers_;
  std::vector<Handle> handles_;
  int last_handle_id_ = 0;
};

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create() { return std::make_unique<PosixEventLoop>(); }

}  // namespace platform
