// The real event loop: timers fire in order, waits block instead of spinning.
#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(EventLoopTest, TimersFireInDueOrderAndCancelledOnesNever) {
  auto loop = platform::EventLoop::Create();
  std::vector<int> fired;
  loop->AddTimer(30, [&] { fired.push_back(3); });
  loop->AddTimer(10, [&] { fired.push_back(1); });
  int cancelled = loop->AddTimer(20, [&] { fired.push_back(2); });
  loop->CancelTimer(cancelled);
  platform::RunUntil(*loop, [&] { return fired.size() == 2; }, 2000);
  EXPECT_EQ(fired, (std::vector<int>{1, 3}));
}

TEST(EventLoopTest, RunUntilBlocksForItsTimeoutWithoutSpinning) {
  auto loop = platform::EventLoop::Create();
  int64_t start = loop->NowMs();
  int rounds = 0;
  platform::RunUntil(*loop, [&] { ++rounds; return false; }, 120);
  EXPECT_GE(loop->NowMs() - start, 120);
  // A handful of wake-ups at most: a spinning loop would count thousands.
  EXPECT_LT(rounds, 10);
}

TEST(EventLoopTest, NestedWaitsStillRunOuterTimers) {
  auto loop = platform::EventLoop::Create();
  bool inner_done = false, outer_fired = false;
  loop->AddTimer(5, [&] {
    platform::RunUntil(*loop, [&] { return outer_fired; }, 2000);
    inner_done = true;
  });
  loop->AddTimer(20, [&] { outer_fired = true; });
  platform::RunUntil(*loop, [&] { return inner_done; }, 3000);
  EXPECT_TRUE(inner_done);
  EXPECT_TRUE(outer_fired);
}

}  // namespace
