// The link on the operating system's own port and event loop. Runs only when
// QUILO1_TEST_COM names a port with a printer (or the virtual one) behind it:
// "5" for COM5, or "5=/dev/pts/3" to map the port to a device first.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ecr/link.h"
#include "ecr/registers.h"
#include "testing/fake_clock.h"

namespace ecr {
namespace {

TEST(RealPortTest, ExchangesThroughTheSystemPort) {
  const char* setting = std::getenv("QUILO1_TEST_COM");
  if (!setting || !*setting) GTEST_SKIP() << "QUILO1_TEST_COM not set";
  const std::string text = setting;
  const int16_t number = int16_t(std::atoi(text.c_str()));
  if (auto eq = text.find('='); eq != std::string::npos) platform::SetSerialDevice(number, text.substr(eq + 1));

  auto loop = platform::EventLoop::Create();
  auto port = platform::SerialPort::Create(*loop);
  std::vector<std::string> log;
  port->SetLog([&log](const std::string& l) { log.push_back(l); });
  settings::Options options;
  testing_support::FakeClock clock;
  EcrLink link(*port, *loop, options, clock);
  link.SetCurrentPort(number);

  EXPECT_EQ(0, link.ProgrammaPortaSeriale(number)) << port->error();
  link.Vexocx21_OpenPort();
  ASSERT_TRUE(link.IsPortOpen()) << port->error();
  const int kRequests = 50;
  const int64_t start = loop->NowMs();
  for (int i = 0; i < kRequests; ++i) ASSERT_EQ(0, link.TrasmettiStringa("1009")) << i;
  const int64_t took = loop->NowMs() - start;
  std::printf("%d status requests in %lld ms\n", kRequests, static_cast<long long>(took));

  // Programming the open port again, then closing and opening it again.
  EXPECT_EQ(0, link.ProgrammaPortaSeriale(number)) << port->error();
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  link.Vexocx21_ClosePort();
  EXPECT_FALSE(link.IsPortOpen());
  const std::string date = ReadDataOra(link);
  EXPECT_EQ(0u, date.rfind("REDT,D", 0)) << date;
  EXPECT_FALSE(link.IsPortOpen());
  for (const auto& l : log) std::printf("port log: %s\n", l.c_str());
}

}  // namespace
}  // namespace ecr
