// The date-time stamp and the fake clock on the fake loop's virtual time.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include "testing/fake_clock.h"

namespace {

using platform::LocalTime;

TEST(ClockTest, StampAndFakeClockFollowingTheLoop) {
  EXPECT_EQ("20240105_070809", platform::DateTimeStamp(LocalTime{2024, 1, 5, 7, 8, 9, 123}, '_'));
  EXPECT_EQ("00120102-030405", platform::DateTimeStamp(LocalTime{10012, 1, 2, 3, 4, 5, 0}, '-'));

  testing_support::FakeEventLoop loop;
  testing_support::FakeClock clock(&loop);
  clock.Set(LocalTime{2023, 12, 31, 23, 59, 59, 900});
  int64_t start = clock.MonotonicMs();
  loop.Advance(150);
  EXPECT_EQ(start + 150, clock.MonotonicMs());
  LocalTime t = clock.Now();
  EXPECT_EQ("20240101-000000", platform::DateTimeStamp(t, '-'));
  EXPECT_EQ(50, t.millisecond);
  clock.Advance(86400000LL * 59);
  EXPECT_EQ("20240229-000000", platform::DateTimeStamp(clock.Now(), '-'));

  int64_t before = platform::Clock::Real().MonotonicMs();
  EXPECT_LE(before, platform::Clock::Real().MonotonicMs());
}

}  // namespace
