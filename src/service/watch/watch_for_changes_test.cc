// The watcher on a real directory and the real event loop.
#include "service/watch/watch_for_changes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "testing/temp_dir.h"

namespace service {
namespace {

class WatchTest : public ::testing::Test {
 protected:
  WatchTest() : loop(platform::EventLoop::Create()), watcher(*loop) {
    watcher.ChangeDetected = [this](int32_t kinds) { events.push_back(kinds); };
  }
  // Runs the loop for `ms` of real time.
  void Run(int64_t ms) {
    int64_t end = loop->NowMs() + ms;
    while (loop->NowMs() < end) loop->RunOnce(end - loop->NowMs());
  }
  testing_support::ScopedTempDir dir;
  std::unique_ptr<platform::EventLoop> loop;
  cWatchForChanges watcher;
  std::vector<int32_t> events;
};

TEST_F(WatchTest, ACreatedAndWrittenFileIsReported) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, false, false));
  testing_support::WriteFileBytes(dir.File("SR_DATI.001"), "SALE,N1,P100;");
  Run(100);
  // Usually one event. Changes are reported as they come, so the create and
  // the write may come apart, and on Win32 each kind has a handle of its own.
  ASSERT_GE(events.size(), 1u);
  ASSERT_LE(events.size(), 3u);
  EXPECT_TRUE(events[0] & 1);
  for (int32_t kinds : events) EXPECT_EQ(kinds & ~7, 0);
}

// No change waits for the interval: the data file and, a moment later, the
// start file are each reported at once.
TEST_F(WatchTest, ChangesAreReportedWithoutWaitingForTheInterval) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 1000, false, false));
  testing_support::WriteFileBytes(dir.File("SR_DATI.001"), "SALE,N1,P100;");
  Run(100);
  ASSERT_GE(events.size(), 1u);
  const size_t before = events.size();
  testing_support::WriteFileBytes(dir.File("SR_START.001"), "");
  Run(100);
  ASSERT_GT(events.size(), before);
  EXPECT_TRUE(events[before] & 1);
}

TEST_F(WatchTest, ChangesWhileSuspendedComeOnceAfterResuming) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, true, false));
  testing_support::WriteFileBytes(dir.File("a"), "1");
  Run(50);
  testing_support::WriteFileBytes(dir.File("b"), "2");
  Run(50);
  EXPECT_TRUE(events.empty());
  watcher.SuspendWatch(false);
  Run(50);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0] & 1);
}

TEST_F(WatchTest, MissingDirectoryCannotBeWatched) {
  EXPECT_FALSE(watcher.StartWatch(dir.File("missing"), 5, false, false));
  EXPECT_FALSE(watcher.watching());
}

TEST_F(WatchTest, StartingTwiceKeepsOneWatch) {
  // A deletion is a single notification, even on a loaded machine where a
  // create and its write may be reported apart.
  testing_support::WriteFileBytes(dir.File("x"), "1");
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, false, false));
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, false, false));
  std::remove(dir.File("x").c_str());
  Run(100);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(WatchTest, StoppedWatchReportsNothing) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, false, false));
  watcher.StopWatch();
  watcher.StopWatch();
  testing_support::WriteFileBytes(dir.File("x"), "1");
  Run(50);
  EXPECT_TRUE(events.empty());
}

TEST_F(WatchTest, TheHandlerMayRestartTheWatch) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), 5, false, false));
  watcher.ChangeDetected = [this](int32_t kinds) {
    events.push_back(kinds);
    watcher.StartWatch(dir.path(), 5, false, false);
  };
  testing_support::WriteFileBytes(dir.File("x"), "1");
  Run(50);
  testing_support::WriteFileBytes(dir.File("y"), "1");
  Run(50);
  EXPECT_EQ(events.size(), 2u);
}

}  // namespace
}  // namespace service
