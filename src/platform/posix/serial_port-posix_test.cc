// The termios port on a pseudo-terminal that the test drives from the
// master side.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/serial_port.h"

namespace platform {
namespace {

class PtyPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(0, grantpt(master));
    ASSERT_EQ(0, unlockpt(master));
    SetSerialDevice(kPort, ptsname(master));
    port = SerialPort::Create(*loop);
    port->SetLog([this](const std::string& l) { log.push_back(l); });
  }
  void TearDown() override {
    port.reset();
    if (master >= 0) close(master);
  }
  std::string ReadMaster(size_t n) {
    std::string got;
    while (got.size() < n) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) break;
      char buf[256];
      ssize_t r = read(master, buf, sizeof buf);
      if (r <= 0) break;
      got.append(buf, size_t(r));
    }
    return got;
  }

  static constexpr int kPort = 7;
  std::unique_ptr<EventLoop> loop = EventLoop::Create();
  std::unique_ptr<SerialPort> port;
  std::vector<std::string> log;
  int master = -1;
};

TEST_F(PtyPortTest, MissingDeviceFailsToConfigure) {
  SetSerialDevice(kPort + 1, "/dev/quilo1-no-such-port");
  EXPECT_FALSE(port->Configure(kPort + 1));
  EXPECT_FALSE(port->error().empty());
  EXPECT_EQ("/dev/ttyS2", SerialDeviceName(3));
}

TEST_F(PtyPortTest, OpensDespiteTheTerminalRefusingSevenBitsAndParity) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open()) << port->error();
  // Programming it again while open is what fails with EINVAL on a
  // pseudo-terminal; it must still succeed.
  EXPECT_TRUE(port->Configure(kPort)) << port->error();
  EXPECT_TRUE(port->Configure(kPort)) << port->error();
  termios t;
  ASSERT_EQ(0, tcgetattr(master, &t));
  EXPECT_EQ(0u, t.c_lflag & ECHO) << "raw: nothing echoed back";
  // Another port cannot be programmed while this one is open.
  EXPECT_FALSE(port->Configure(kPort + 1));
  EXPECT_EQ(kPort, port->port());
  // The refused framing is logged once, not at every programming.
  EXPECT_LE(log.size(), 1u);
}

TEST_F(PtyPortTest, BytesBothWays) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open());
  const std::string frame = "\x02" "0001009" "46" "\x03";
  ASSERT_TRUE(port->Output(frame));
  EXPECT_EQ(frame, ReadMaster(frame.size()));

  EXPECT_EQ("", port->Input());
  const std::string answer = "\x02" "000100900" "xx\x03\xE0";
  ASSERT_EQ(ssize_t(answer.size()), write(master, answer.data(), answer.size()));
  // The loop wakes for the arrival; the port keeps the bytes for Input.
  EXPECT_TRUE(RunUntil(*loop, [&] { return port->InBufferCount() == int(answer.size()); }, 2000));
  EXPECT_EQ(answer, port->Input());
  EXPECT_EQ(0, port->InBufferCount());
}

TEST_F(PtyPortTest, ArrivalWakesABlockedLoop) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open());
  // An empty read first: it must not be taken for a hang-up.
  EXPECT_EQ("", port->Input());
  ASSERT_EQ(1, write(master, "A", 1));
  const int64_t start = loop->NowMs();
  loop->RunOnce(3000);
  EXPECT_LT(loop->NowMs() - start, 1000);
  EXPECT_EQ("A", port->Input());
}

TEST_F(PtyPortTest, EmptyReadsWithVminZeroAreNotAHangUp) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open());
  // Another process may program the terminal behind our back.
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios t;
  ASSERT_EQ(0, tcgetattr(slave, &t));
  t.c_cc[VMIN] = 0;
  ASSERT_EQ(0, tcsetattr(slave, TCSANOW, &t));
  close(slave);
  EXPECT_EQ("", port->Input());
  ASSERT_EQ(1, write(master, "B", 1));
  const int64_t start = loop->NowMs();
  loop->RunOnce(3000);
  EXPECT_LT(loop->NowMs() - start, 1000);
  EXPECT_EQ("B", port->Input());
}

TEST_F(PtyPortTest, HangUpDoesNotKeepWakingTheLoop) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open());
  close(master);
  master = -1;
  int rounds = 0;
  const int64_t start = loop->NowMs();
  while (loop->NowMs() - start < 200) {
    loop->RunOnce(200 - (loop->NowMs() - start));
    ++rounds;
  }
  EXPECT_LE(rounds, 3);
  EXPECT_EQ("", port->Input());
}

TEST_F(PtyPortTest, CloseAndReopen) {
  ASSERT_TRUE(port->Configure(kPort));
  ASSERT_TRUE(port->Open());
  port->Close();
  EXPECT_FALSE(port->IsOpen());
  EXPECT_FALSE(port->Output("x"));
  ASSERT_TRUE(port->Open()) << port->error();
  EXPECT_TRUE(port->Output("y"));
  EXPECT_EQ("y", ReadMaster(1));
}

}  // namespace
}  // namespace platform
