// The system's clocks and the date-time stamp; portable, since NowLocal and
// steady_clock already hide the system. The real event loops time their
// timers with this monotonic clock too.
#include "platform/clock.h"

#include <chrono>
#include <cstdio>

namespace platform {
namespace {

class RealClock : public Clock {
 public:
  LocalTime Now() override { return NowLocal(); }
  int64_t MonotonicMs() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

Clock& Clock::Real() {
  static RealClock clock;
  return clock;
}

std::string DateTimeStamp(const LocalTime& t, char sep) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%c%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100, sep,
                t.hour % 100, t.minute % 100, t.second % 100);
  return stamp;
}

}  // namespace platform
