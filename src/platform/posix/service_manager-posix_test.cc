// The notify protocol on the wire: a datagram socket of the test stands in
// for systemd's, named by NOTIFY_SOCKET; the watchdog time comes from
// WATCHDOG_USEC, for this process only.
#include "platform/service_manager.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace platform {
namespace {

TEST(ServiceManagerTest, MessagesReachTheNotifySocket) {
  testing_support::ScopedTempDir dir;
  const std::string path = dir.File("notify");
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
  timeval wait{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);

  struct Case {
    const char* watchdogUsec;
    std::string watchdogPid;
    int64_t aliveMs;
  };
  const std::vector<Case> cases = {
      {"30000000", std::to_string(getpid()), 15000},  // WatchdogSec=30
      {"30000000", std::to_string(getpid() + 1), 0},  // another process's watchdog
      {nullptr, "", 0},                               // no watchdog
  };
  setenv("NOTIFY_SOCKET", path.c_str(), 1);
  for (const Case& c : cases) {
    if (c.watchdogUsec) {
      setenv("WATCHDOG_USEC", c.watchdogUsec, 1);
      setenv("WATCHDOG_PID", c.watchdogPid.c_str(), 1);
    } else {
      unsetenv("WATCHDOG_USEC");
      unsetenv("WATCHDOG_PID");
    }
    auto manager = ServiceManager::Create();
    EXPECT_EQ(c.aliveMs, manager->AliveIntervalMs()) << c.watchdogPid;
    manager->Ready();
    manager->Status("QUILO1 TERMINATO : TUTTO OK \xC3\xA8");
    manager->Alive();
    manager->Stopping();
    std::vector<std::string> heard;
    char buf[512];
    for (int i = 0; i < 4; ++i) {
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      ASSERT_GT(n, 0) << "message " << i;
      heard.emplace_back(buf, size_t(n));
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"READY=1", "STATUS=QUILO1 TERMINATO : TUTTO OK \xC3\xA8",
                                               "WATCHDOG=1", "STOPPING=1"}));
  }
  unsetenv("NOTIFY_SOCKET");
  unsetenv("WATCHDOG_USEC");
  unsetenv("WATCHDOG_PID");

  // Without a socket the messages go nowhere and nothing fails.
  auto none = ServiceManager::Create();
  none->Ready();
  EXPECT_EQ(0, none->AliveIntervalMs());
  close(fd);
}

}  // namespace
}  // namespace platform
