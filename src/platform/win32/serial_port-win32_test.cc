// The Win32 port when the device behind it goes away. Runs only when
// QUILO1_TEST_HANGUP names a port with the virtual printer behind it and the
// printer's control file: "5=Z:\tmp\ecr.ctl" (Wine maps COM5 to its
// pseudo-terminal); the test tells the printer to quit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/serial_port.h"

namespace platform {
namespace {

TEST(Win32SerialPortTest, DeviceGoneLeavesTheLoopIdle) {
  const char* setting = std::getenv("QUILO1_TEST_HANGUP");
  if (!setting || !*setting) GTEST_SKIP() << "QUILO1_TEST_HANGUP not set";
  const std::string text = setting;
  const auto eq = text.find('=');
  ASSERT_NE(std::string::npos, eq) << text;
  const int number = std::atoi(text.c_str());
  const std::string control = text.substr(eq + 1);

  auto loop = EventLoop::Create();
  auto port = SerialPort::Create(*loop);
  std::vector<std::string> log;
  port->SetLog([&log](const std::string& l) { log.push_back(l); });
  ASSERT_TRUE(port->Configure(number)) << port->error();
  ASSERT_TRUE(port->Open()) << port->error();

  const std::string status = "\x02" "0001009" "46" "\x03";
  ASSERT_TRUE(port->Output(status));
  std::string answer;
  const int64_t asked = loop->NowMs();
  while (answer.find('\x03') == std::string::npos && loop->NowMs() - asked < 3000) {
    loop->RunOnce(3000 - (loop->NowMs() - asked));
    answer += port->Input();
  }
  ASSERT_NE(std::string::npos, answer.find("1009")) << "no printer behind COM" << number;

  { std::ofstream(control, std::ios::binary) << "quit\n"; }
  // The printer looks at its control file five times a second.
  const int64_t told = loop->NowMs();
  while (loop->NowMs() - told < 1500) loop->RunOnce(1500 - (loop->NowMs() - told));

  int rounds = 0;
  const int64_t start = loop->NowMs();
  while (loop->NowMs() - start < 500) {
    loop->RunOnce(500 - (loop->NowMs() - start));
    port->Input();
    ++rounds;
  }
  EXPECT_LE(rounds, 3);
  for (const auto& l : log) std::printf("port log: %s\n", l.c_str());
}

}  // namespace
}  // namespace platform
