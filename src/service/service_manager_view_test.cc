// What systemd hears from the daemon, beside its status lines.
#include "service/service_manager_view.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/fake_event_loop.h"

namespace service {
namespace {

class RecordingManager : public platform::ServiceManager {
 public:
  explicit RecordingManager(int64_t aliveMs) : aliveMs_(aliveMs) {}
  void Ready() override { heard.push_back("READY=1"); }
  void Status(const std::string& utf8) override { heard.push_back("STATUS=" + utf8); }
  void Alive() override { heard.push_back("WATCHDOG=1"); }
  void Stopping() override { heard.push_back("STOPPING=1"); }
  int64_t AliveIntervalMs() const override { return aliveMs_; }
  std::vector<std::string> heard;

 private:
  int64_t aliveMs_;
};

// A start with a printer to look for: ready at the first dump's end (here a
// failed one), once; the banner as status; pings while the loop runs; the
// closing said once.
TEST(ServiceManagerViewTest, ReadyAfterFirstIdentificationThenAliveUntilClosing) {
  StatusView view;
  RecordingManager manager(15000);
  ServiceManagerView notifier(view, manager);
  testing_support::FakeEventLoop loop;
  notifier.KeepAlive(loop);
  view.PortAvailable(1, true);
  view.ConfigurationLocked(true);
  EXPECT_TRUE(manager.heard.empty());
  view.DumpState(1, "NO RICEZIONE : DUMP NON ESEGUITO");
  view.ProgramStatus(1, "QUILO1 TERMINATO : \xE8 ok\r\n\x80\x81");
  view.DumpState(1, "DUMP ESEGUITO");
  view.ConfigurationLocked(false);
  loop.RunOnce(40000);
  loop.RunOnce(40000);
  view.ClosingNotice("Chiusura programma Quilo1 in corso ...");
  view.ClosingNotice("Chiusura programma Quilo1 in corso ...");
  EXPECT_EQ(manager.heard, (std::vector<std::string>{"READY=1", "STATUS=QUILO1 TERMINATO : \xC3\xA8 ok  \xE2\x82\xAC?",
                                                     "WATCHDOG=1", "WATCHDOG=1", "STOPPING=1"}));
  EXPECT_EQ(loop.NowMs() - 1000000, 30000);
}

// No port to serve: ready as soon as the start says so. No watchdog: no timer.
TEST(ServiceManagerViewTest, ReadyAtOnceWithoutAPortAndNoPingsWithoutWatchdog) {
  StatusView view;
  RecordingManager manager(0);
  ServiceManagerView notifier(view, manager);
  testing_support::FakeEventLoop loop;
  notifier.KeepAlive(loop);
  view.PortAvailable(1, false);
  view.ConfigurationLocked(false);
  loop.RunOnce(100000);
  EXPECT_EQ(manager.heard, (std::vector<std::string>{"READY=1"}));
}

}  // namespace
}  // namespace service
