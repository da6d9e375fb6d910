// POSIX event loop: poll() over the registered descriptors and a self-pipe.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/handle_table.h"
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

  int64_t NowMs() override { return Clock::Real().MonotonicMs(); }
  int AddTimer(int64_t delay_ms, std::function<void()> fn) override {
    return timers_.Add(NowMs() + (delay_ms < 0 ? 0 : delay_ms), std::move(fn));
  }
  void CancelTimer(int id) override { timers_.Cancel(id); }

  int AddHandle(NativeHandle handle, std::function<void()> fn) override {
    return handles_.Add(handle, std::move(fn));
  }
  void RemoveHandle(int id) override { handles_.Remove(id); }

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
    for (const auto& h : handles_.entries()) {
      fds.push_back({int(h.handle), POLLIN, 0});
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
        handles_.Run(ids[i]);
        return;
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
  int wake_[2] = {-1, -1};
  TimerQueue timers_;
  HandleTable handles_;
};

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create() { return std::make_unique<PosixEventLoop>(); }

}  // namespace platform
