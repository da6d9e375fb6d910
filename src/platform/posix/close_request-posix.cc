// Close requests on POSIX: SIGINT and SIGTERM write a byte into a pipe that
// the event loop watches, so the closing runs on the loop thread.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "platform/close_request.h"

namespace platform {
namespace {

int g_write_fd = -1;

void OnSignal(int) {
  if (g_write_fd >= 0) {
    char c = 1;
    ssize_t r = write(g_write_fd, &c, 1);
    (void)r;
  }
}

class PipeCloseRequest : public CloseRequest {
 public:
  PipeCloseRequest(EventLoop& loop, int rfd, int wfd, std::function<void()> onClose)
      : loop_(loop), rfd_(rfd), wfd_(wfd), onClose_(std::move(onClose)) {
    id_ = loop_.AddHandle(rfd_, [this] {
      char buf[64];
      bool any = false;
      while (read(rfd_, buf, sizeof buf) > 0) any = true;
      if (any) onClose_();
    });
  }
  ~PipeCloseRequest() override {
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    g_write_fd = -1;
    loop_.RemoveHandle(id_);
    close(rfd_);
    close(wfd_);
  }

 private:
  EventLoop& loop_;
  int rfd_, wfd_;
  int id_ = 0;
  std::function<void()> onClose_;
};

}  // namespace

std::unique_ptr<CloseRequest> CloseRequest::Install(EventLoop& loop, std::function<void()> onClose) {
  int fds[2];
  if (pipe(fds) != 0) return nullptr;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  g_write_fd = fds[1];
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  return std::make_unique<PipeCloseRequest>(loop, fds[0], fds[1], std::move(onClose));
}

}  // namespace platform
