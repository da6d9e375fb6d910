// Job detection: the scan over the ports, Timer21's ticks and the change
// events, on the job service's test bench; the directory watch on a real
// directory and the real event loop.
#include "testing/job_service_test.h"

#include <cstdio>

namespace service {
namespace {

TEST_F(JobServiceTest, LowerPortGoesFirstAndAStartFileAloneWaits) {
  settings.portEnabled[1] = settings.portEnabled[3] = false;
  svc->Start(dir.path());
  WriteFileBytes(P("SR_MATR.001"), "x");
  WriteFileBytes(P("SR_MATR.003"), "x");
  Job(3);
  Job(1);
  WriteFileBytes(P("FINESCO.001"), "finesco");
  WriteFileBytes(P("SR_OUT.001"), "old");
  EXPECT_EQ(VerifyStartPos(), 1);
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(FileExists(P("SR_OUT.001")));
  std::remove(P("SR_DATI.001").c_str());
  EXPECT_EQ(VerifyStartPos(), 3);
}

TEST_F(JobServiceTest, NoPortAtAll) {
  for (bool& a : printer.available) a = false;
  svc->Start(dir.path());
  Scan();
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(ReadFileBytes(P("SR_ERR.00" + std::to_string(n))), "E502: Nessuna porta di comunicazione disponibile\r\n");
}

TEST_F(JobServiceTest, TimerTicks) {
  StartIdentified();
  restartTick() = false;
  Job(1);
  // A tick while a unit holds the link does nothing and keeps the timer running.
  svc->queue().Submit(1, "dump", [&] {
    Tick();
    EXPECT_TRUE(FileExists(P("SR_START.001")));
    EXPECT_TRUE(timer21().enabled());
  });
  Tick();
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  EXPECT_TRUE(timer21().enabled());
  restartTick() = false;
  settings.options.OptionFAST = true;
  Tick();
  EXPECT_FALSE(timer21().enabled());
}

TEST_F(JobServiceTest, NotificationModeTakesTheJobOnTheChange) {
  settings.options.OptionFAST = true;
  StartIdentified();
  WatchEvent();
  Job(1);
  WatchEvent();
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(timer21().enabled());
  EXPECT_FALSE(watcher().SuspendWatch());
}

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
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
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
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
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
  ASSERT_TRUE(watcher.StartWatch(dir.path(), true, false));
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
  EXPECT_FALSE(watcher.StartWatch(dir.File("missing"), false, false));
  EXPECT_FALSE(watcher.watching());
}

TEST_F(WatchTest, StartingTwiceKeepsOneWatch) {
  // A deletion is a single notification, even on a loaded machine where a
  // create and its write may be reported apart.
  testing_support::WriteFileBytes(dir.File("x"), "1");
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
  std::remove(dir.File("x").c_str());
  Run(100);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(WatchTest, StoppedWatchReportsNothing) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
  watcher.StopWatch();
  watcher.StopWatch();
  testing_support::WriteFileBytes(dir.File("x"), "1");
  Run(50);
  EXPECT_TRUE(events.empty());
}

TEST_F(WatchTest, TheHandlerMayRestartTheWatch) {
  ASSERT_TRUE(watcher.StartWatch(dir.path(), false, false));
  watcher.ChangeDetected = [this](int32_t kinds) {
    events.push_back(kinds);
    watcher.StartWatch(dir.path(), false, false);
  };
  testing_support::WriteFileBytes(dir.File("x"), "1");
  Run(50);
  testing_support::WriteFileBytes(dir.File("y"), "1");
  Run(50);
  EXPECT_EQ(events.size(), 2u);
}

}  // namespace
}  // namespace service
