// Helpers shared by every event loop.
#include "platform/event_loop.h"

namespace platform {

bool RunUntil(EventLoop& loop, const std::function<bool()>& done, int64_t timeout_ms) {
  const int64_t deadline = timeout_ms < 0 ? -1 : loop.NowMs() + timeout_ms;
  while (!done()) {
    int64_t left = -1;
    if (deadline >= 0) {
      left = deadline - loop.NowMs();
      if (left <= 0) break;
    }
    loop.RunOnce(left);
  }
  return done();
}

}  // namespace platform
