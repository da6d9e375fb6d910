// The printer link on the real termios port and event loop, through a
// pseudo-terminal, against the virtual printer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ecr/dump.h"
#include "ecr/link.h"
#include "ecr/registers.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/temp_dir.h"
#include "virtual_ecr_process.h"

namespace {

using testing_support::ReadFileBytes;

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    out.push_back(bytes.substr(start, end - start));
  return out;
}

class LinkE2eTest : public ::testing::Test {
 protected:
  LinkE2eTest() { fs.AddDirectory(dir.path()); }
  void Start(std::vector<std::string> args = {}) {
    args.push_back("--log");
    args.push_back(dir.File("virtual-ecr.log"));
    std::string error;
    ASSERT_TRUE(printer.Start(VIRTUAL_ECR_PATH, args, &error)) << error;
    platform::SetSerialDevice(1, printer.slavePath());
    link.SetCurrentPort(1);
  }
  // Frames holding `text` that reached the printer, from its log.
  int FramesSeen(const std::string& text) {
    std::istringstream log(ReadFileBytes(dir.File("virtual-ecr.log")));
    int n = 0;
    for (std::string line; std::getline(log, line);)
      if (line.find(" recv ") != std::string::npos && line.find(text) != std::string::npos) ++n;
    return n;
  }

  testing_support::ScopedTempDir dir;
  e2e::VirtualEcrProcess printer;
  std::unique_ptr<platform::EventLoop> loop = platform::EventLoop::Create();
  std::unique_ptr<platform::SerialPort> port = platform::SerialPort::Create(*loop);
  settings::Options options;
  testing_support::FakeClock clock;
  testing_support::FakeFileSystem fs;
  ecr::EcrLink link{*port, *loop, options, clock};
};

TEST_F(LinkE2eTest, StatusRequest) {
  Start();
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ(0u, link.lastAnswer().rfind("100900", 0)) << link.lastAnswer();
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ("01", link.state().sequence);
}

TEST_F(LinkE2eTest, RtDump) {
  Start();
  ecr::PrinterIdentity info;
  link.Vexocx21_OpenPort();
  ASSERT_TRUE(link.IsPortOpen());
  EXPECT_EQ(0, ecr::Vexocx21_DoDumpConf(link, fs, dir.path(), info));
  link.Vexocx21_ClosePort();
  // The identification carries the 11-character serial at 2-12 and the RT
  // flag at 26.
  ASSERT_GE(info.identification.size(), 26u);
  EXPECT_EQ("99MEY012345", info.identification.substr(1, 11));
  EXPECT_EQ('1', info.identification[25]);
  EXPECT_EQ(2, info.taxCodeKind);
  EXPECT_EQ("05.01.02", info.firmwareVersion);
  auto trace = Lines(fs.Contents(dir.File("tracedump.txt")));
  ASSERT_EQ(11u, trace.size());
  const std::regex stamp("^\\d{8}_\\d{6} <--> ");
  for (const auto& l : trace) EXPECT_TRUE(std::regex_search(l, stamp)) << l;
  EXPECT_EQ(" --> Dump di configurazione Custom ", trace[0].substr(21));
  // The serial number is the 8 characters at 7-14 of the answer.
  EXPECT_EQ(" -/- EY012345", trace[2].substr(trace[2].size() - 13));
  EXPECT_EQ(" --> 1109", trace[9].substr(21));
}

TEST_F(LinkE2eTest, MfDump) {
  Start({"--mf"});
  ecr::PrinterIdentity info;
  link.Vexocx21_OpenPort();
  EXPECT_EQ(0, ecr::Vexocx21_DoDumpConf(link, fs, dir.path(), info));
  // No identification: the 8-character serial stands for it.
  EXPECT_EQ("CU100001", info.identification);
  EXPECT_EQ("05.01.02", info.firmwareVersion);
  auto trace = Lines(fs.Contents(dir.File("tracedump.txt")));
  ASSERT_GE(trace.size(), 5u);
  EXPECT_EQ(" -/- CU100001", trace[4].substr(trace[4].size() - 13));
}

TEST_F(LinkE2eTest, DumpOfACoverOpenPrinter) {
  Start({"--fault", "status 10"});
  ecr::PrinterIdentity info;
  link.Vexocx21_OpenPort();
  EXPECT_EQ(-5, ecr::Vexocx21_DoDumpConf(link, fs, dir.path(), info));
  EXPECT_EQ("", info.identification);
}

TEST_F(LinkE2eTest, DailyTotals) {
  Start();
  const std::string path = dir.File("totali.txt");
  EXPECT_FALSE(ecr::ScriviTotaliGiornalieri(link, fs, dir.path(), "totali.txt", ','));
  auto lines = Lines(fs.Contents(path));
  ASSERT_EQ(15u, lines.size());
  EXPECT_EQ("DataCode|DataDescription|Value|Index", lines[0]);
  EXPECT_EQ("1|TOT.SCONTR.FISCALI|0,00", lines[2]);
  EXPECT_EQ("18|TOT.LORDO GIORN.|0,00", lines[13]);
  EXPECT_EQ("83|NUM.AZZ.FISC.|0", lines[14]);
}

TEST_F(LinkE2eTest, DateSetRefusedWithErr54) {
  Start({"--refuse-date"});
  EXPECT_FALSE(ecr::WriteDataOra(link, "0305241405"));
  EXPECT_EQ("54", link.lastErrorCode());
  EXPECT_EQ(1, FramesSeen("2001030524"));
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(LinkE2eTest, DateSetAndReadBack) {
  Start();
  EXPECT_TRUE(ecr::WriteDataOra(link, "0305241405"));
  const std::string line = ecr::ReadDataOra(link);
  EXPECT_TRUE(std::regex_match(line, std::regex("REDT,D030524,T140[5-6];"))) << line;
}

TEST_F(LinkE2eTest, HeaderLines) {
  Start();
  std::vector<std::string> lines;
  ecr::HeaderContext ctx;
  ctx.rtMode = true;
  ctx.version = {2, 5, 117};
  EXPECT_TRUE(ecr::WriteHeaderLines(link, [&](const std::string& l) { lines.push_back(l); }, ctx));
  ASSERT_EQ(6u, lines.size());
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("TIME,CASS\\. 1 \\d\\d:\\d\\d CASSA   1 ,E,A1;"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex("DATE,\\d\\d/\\d\\d/\\d\\d  SCONTR\\. N\\.0001-\\d{4},E,A1;")))
      << lines[1];
  EXPECT_EQ("Versione 2.5.0.117", lines[2]);
  EXPECT_EQ("GTOT,V0;", lines[3]);
  EXPECT_EQ("GRTO,V0000000000;", lines[4]);
  EXPECT_EQ("NAZF,V0000;", lines[5]);
}

TEST_F(LinkE2eTest, RefusalsAndWrongEchoOnTheWire) {
  Start({"--fault", "nak 2", "--fault", "bad-echo 1"});
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ(0, link.TrasmettiStringa("1001"));
  EXPECT_EQ(0u, link.lastAnswer().rfind("1001", 0));
  // Two refusals and a wrong echo: the same frame four times.
  EXPECT_EQ(4, FramesSeen("<STX>000100946<ETX>"));
}

TEST_F(LinkE2eTest, PrinterErrorOnTheWire) {
  Start({"--fault", "err 1105 37"});
  EXPECT_EQ(-5, link.TrasmettiStringa("1105"));
  EXPECT_EQ("37", link.lastErrorCode());
}

TEST_F(LinkE2eTest, SilenceThenAnswer) {
  Start({"--fault", "silent 1"});
  const int64_t start = loop->NowMs();
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  const int64_t took = loop->NowMs() - start;
  EXPECT_GE(took, 5000);
  EXPECT_EQ("00", link.state().sequence);
}

// The printer registers the item and its answer is lost: the link's resend
// after the silent wait carries the same number, so the printer answers it
// from memory and the item is on the paper once.
TEST_F(LinkE2eTest, LostAnswerToAnItemPrintsItOnce) {
  const std::string paper = dir.File("paper.txt");
  Start({"--paper", paper, "--fault", "drop-answer 3101"});
  const std::string item = "310110122" + std::string("PANE COMUNE").append(11, ' ') + "000000250";
  EXPECT_EQ(0, link.TrasmettiStringa(item));
  EXPECT_EQ(0, link.TrasmettiStringa("3007010008CONTANTI000000000"));
  EXPECT_EQ(0, link.TrasmettiStringa("3011"));
  EXPECT_EQ(2, FramesSeen("3101"));
  std::istringstream log(ReadFileBytes(dir.File("virtual-ecr.log")));
  int repeats = 0;
  for (std::string line; std::getline(log, line);) repeats += line.find("repeated frame") != std::string::npos;
  EXPECT_EQ(1, repeats);
  const std::string printed = ReadFileBytes(paper);
  int items = 0;
  for (size_t at = 0; (at = printed.find("PANE COMUNE", at)) != std::string::npos; ++at) ++items;
  EXPECT_EQ(1, items) << printed;
  EXPECT_NE(std::string::npos, printed.find("2,50")) << printed;
}

TEST_F(LinkE2eTest, PrinterGoneLeavesTheLoopIdle) {
  const std::string control = dir.File("control");
  { std::ofstream(control, std::ios::binary) << ""; }
  Start({"--control", control});
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  { std::ofstream(control, std::ios::binary) << "quit\n"; }
  // The printer looks at its control file five times a second; once it has
  // ended it stays a zombie until reaped.
  auto ended = [this] {
    std::string stat = ReadFileBytes("/proc/" + std::to_string(printer.pid()) + "/stat");
    auto p = stat.rfind(')');
    return p == std::string::npos || stat.compare(p, 3, ") Z") == 0;
  };
  for (int i = 0; i < 50 && !ended(); ++i) usleep(100000);
  ASSERT_TRUE(ended());
  int rounds = 0;
  const int64_t start = loop->NowMs();
  while (loop->NowMs() - start < 300) {
    loop->RunOnce(300 - (loop->NowMs() - start));
    port->Input();
    ++rounds;
  }
  EXPECT_LE(rounds, 3);
}

}  // namespace
