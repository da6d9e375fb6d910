// A clock for tests: a wall time that is set, and a monotonic time that
// follows a FakeEventLoop's virtual time when given one, so both move as
// the loop runs its timers.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "testing/fake_event_loop.h"

namespace testing_support {

class FakeClock : public platform::Clock {
 public:
  // Without a loop the clock moves only by Advance.
  explicit FakeClock(FakeEventLoop* loop = nullptr) : loop_(loop) { setAt_ = MonotonicMs(); }

  // The wall time now; from here it runs on with the monotonic time.
  void Set(const platform::LocalTime& t) {
    wall_ = t;
    setAt_ = MonotonicMs();
  }
  // Moves both clocks on, beyond the loop's own time.
  void Advance(int64_t ms) { extra_ += ms; }

  platform::LocalTime Now() override { return Later(wall_, MonotonicMs() - setAt_); }
  int64_t MonotonicMs() override { return (loop_ ? loop_->NowMs() : 0) + extra_; }

  // `t` plus `ms` milliseconds, across days, months and years.
  static platform::LocalTime Later(const platform::LocalTime& t, int64_t ms) {
    using namespace std::chrono;
    sys_days day = year{t.year} / month{unsigned(t.month)} / std::chrono::day{unsigned(t.day)};
    sys_time<milliseconds> when = day + hours{t.hour} + minutes{t.minute} + seconds{t.second} +
                                  milliseconds{t.millisecond} + milliseconds{ms};
    sys_days newDay = floor<days>(when);
    year_month_day ymd{newDay};
    hh_mm_ss<milliseconds> time{when - newDay};
    platform::LocalTime r;
    r.year = int(ymd.year());
    r.month = int(unsigned(ymd.month()));
    r.day = int(unsigned(ymd.day()));
    r.hour = int(time.hours().count());
    r.minute = int(time.minutes().count());
    r.second = int(time.seconds().count());
    r.millisecond = int(time.subseconds().count());
    return r;
  }

 private:
  FakeEventLoop* loop_;
  // A fixed day, so stamps in expected texts do not change from run to run.
  platform::LocalTime wall_{2024, 1, 15, 9, 30, 0, 0};
  int64_t setAt_ = 0;
  int64_t extra_ = 0;
};

}  // namespace testing_support
