// Registers and receipt data lines against a scripted printer.
#include "ecr/registers.h"

#include <gtest/gtest.h>

#include <map>

#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_serial_port.h"

namespace ecr {
namespace {

using testing_support::AnswerFrame;
using testing_support::FakeSerialPort;
using testing_support::ParseFrame;

const std::string kAck(1, ACK);

// An answer the link cuts without STX: five leading and three trailing bytes
// go, so the body arrives exactly as given.
std::string Unframed(const std::string& body) { return "\x06" "0000" + body + "00" + std::string(1, ETX); }

// A "1004" answer: receipt number 0042, then 9-digit amounts from 9 on.
std::string Counters(int64_t value) {
  char amount[16];
  std::snprintf(amount, sizeof amount, "%09lld", static_cast<long long>(value));
  std::string body = "1004" "0042" + std::string(amount);
  body.resize(92, '0');
  return body;
}

class RegistersTest : public ::testing::Test {
 protected:
  RegistersTest() : port(loop), link(port, loop, options, clock) {
    // Answers by command code; "" is silence. Bodies are sent unframed.
    port.SetScript([this](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
      if (w == kAck) {
        if (!late.empty()) port.Receive(late);
        late.clear();
        return {};
      }
      auto f = ParseFrame(w);
      commands.push_back(f.command);
      auto it = answers.find(f.command.substr(0, 4));
      if (it == answers.end() || it->second.empty()) return {};
      return {{Unframed(it->second), 10}};
    });
  }
  std::vector<std::string> Header(bool rt = false, std::string* redt = nullptr) {
    std::vector<std::string> lines;
    HeaderContext ctx;
    ctx.rtMode = rt;
    ctx.version = {2, 5, 117};
    ctx.storedRedtLine = redt;
    result = WriteHeaderLines(link, [&lines](const std::string& l) { lines.push_back(l); }, ctx);
    return lines;
  }

  testing_support::FakeEventLoop loop;
  settings::Options options;
  testing_support::FakeClock clock;
  FakeSerialPort port;
  EcrLink link;
  std::map<std::string, std::string> answers;
  std::vector<std::string> commands;
  std::string late;  // bytes that arrive right after the ACK
  bool result = false;
};

TEST_F(RegistersTest, ReadDataOraNeedsFourteenCharacters) {
  answers["1001"] = "1001" "030524" "1405";
  EXPECT_EQ("REDT,D030524,T1405;", ReadDataOra(link));
  answers["1001"] = "1001" "030524" "140";
  EXPECT_EQ("", ReadDataOra(link));
  // The missing character arrives after the answer: one extra read finds it.
  late = "7";
  EXPECT_EQ("REDT,D030524,T1407;", ReadDataOra(link));
}

TEST_F(RegistersTest, ReadDataOraLeavesThePortAsFound) {
  answers["1001"] = "1001" "030524" "1405";
  ReadDataOra(link);
  EXPECT_FALSE(link.IsPortOpen());
  link.Vexocx21_OpenPort();
  ReadDataOra(link);
  EXPECT_TRUE(link.IsPortOpen());
  answers.clear();
  link.Vexocx21_ClosePort();
  EXPECT_EQ("", ReadDataOra(link));
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(RegistersTest, WriteDataOraAccepted) {
  answers["2001"] = "20010";
  EXPECT_TRUE(WriteDataOra(link, "0305241405"));
  EXPECT_EQ((std::vector<std::string>{"2001" "030524" "1405"}), commands);
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(RegistersTest, WriteDataOraGivesUpAfterFiveRefusals) {
  answers["2001"] = "20011";
  EXPECT_FALSE(WriteDataOra(link, "0305241405"));
  EXPECT_EQ(5u, commands.size());
}

TEST_F(RegistersTest, WriteDataOraStopsAtFiscalClosingRequired) {
  answers["2001"] = "ERR54";
  EXPECT_FALSE(WriteDataOra(link, "0305241405"));
  EXPECT_EQ(1u, commands.size());
  // The same through an STX-framed answer, whose body carries the checksum.
  commands.clear();
  port.SetScript([this](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    commands.push_back(ParseFrame(w).command);
    return {{AnswerFrame(ParseFrame(w).sequence, "ERR54"), 10}};
  });
  EXPECT_FALSE(WriteDataOra(link, "0305241405"));
  EXPECT_EQ(1u, commands.size());
}

TEST_F(RegistersTest, WriteDataOraBoundsFailedExchanges) {
  answers["2001"] = "ERR21";
  EXPECT_FALSE(WriteDataOra(link, "0305241405"));
  EXPECT_EQ(size_t(kWriteDataOraFailedExchanges), commands.size());
}

TEST_F(RegistersTest, WriteDataOraKeepsAnOpenPortOpen) {
  answers["2001"] = "20010";
  link.Vexocx21_OpenPort();
  EXPECT_TRUE(WriteDataOra(link, "0305241405"));
  EXPECT_TRUE(link.IsPortOpen());
}

TEST_F(RegistersTest, GrandTotalAndClosings) {
  answers["1105"] = "1105" "0000123456";
  answers["1104"] = "1104" "0017" "1983";
  EXPECT_EQ("GRTO,V0000123456;", ReadGranTotale(link));
  EXPECT_EQ("0017", ReadNumeroAzzeramenti(link));
  answers["1105"] = "1105" "000012345";
  answers["1104"] = "1104" "0017" "198";
  EXPECT_EQ("", ReadGranTotale(link));
  EXPECT_EQ("", ReadNumeroAzzeramenti(link));
  answers["1105"] = "ERR99";
  EXPECT_EQ("", ReadGranTotale(link));
}

class HeaderTest : public RegistersTest {
 protected:
  HeaderTest() {
    answers["1104"] = "1104" "0017" "1983";
    answers["1001"] = "1001" "030524" "1405";
    answers["1004"] = Counters(1234567);
    answers["1105"] = "1105" "0000123456";
  }
};

TEST_F(HeaderTest, AllLines) {
  std::string redt = "REDT,D030524,T1400;";
  EXPECT_EQ((std::vector<std::string>{
                "TIME,CASS. 1 14:05 CASSA   1 ,E,A1;",
                "DATE,03/05/24  SCONTR. N.0042,E,A1;",
                "Versione 2.5.0.117",
                "GTOT,V1234567;",
                "GRTO,V0000123456;",
                "NAZF,V0017;",
                "REDT,D030524,T1400;",
            }),
            Header(false, &redt));
  EXPECT_TRUE(result);
  EXPECT_EQ("", redt);
}

TEST_F(HeaderTest, RtReceiptNumberCarriesTheNextClosing) {
  auto lines = Header(true);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("DATE,03/05/24  SCONTR. N.0018-0042,E,A1;", lines[1]);
}

TEST_F(HeaderTest, TotalsCanBeDisabled) {
  options.chbDisabTotalizzatori = true;
  EXPECT_EQ(3u, Header().size());
  for (const auto& l : Header()) {
    EXPECT_NE(0u, l.rfind("GTOT", 0));
    EXPECT_NE(0u, l.rfind("GRTO", 0));
    EXPECT_NE(0u, l.rfind("NAZF", 0));
  }
}

TEST_F(HeaderTest, EmptyGrandTotalStillTakesALine) {
  answers["1105"] = "ERR99";
  auto lines = Header();
  ASSERT_EQ(6u, lines.size());
  EXPECT_EQ("", lines[4]);
}

TEST_F(HeaderTest, ShortCountersLeaveTheNumberOut) {
  answers["1004"] = "1004" "0042";
  auto lines = Header();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ("DATE,03/05/24,E,A1;", lines[1]);
}

TEST_F(HeaderTest, FailedDateMeansNoHeader) {
  answers["1001"] = "ERR99";
  EXPECT_TRUE(Header().empty());
  EXPECT_FALSE(result);
  answers["1001"] = "1001" "030524" "140";
  EXPECT_TRUE(Header().empty());
  EXPECT_FALSE(result);
}

TEST_F(HeaderTest, FailedCountersStopAfterTheTime) {
  answers["1004"] = "ERR37";
  EXPECT_EQ((std::vector<std::string>{"TIME,CASS. 1 14:05 CASSA   1 ,E,A1;"}), Header());
  EXPECT_TRUE(result);
}

TEST_F(HeaderTest, CompatibilityDelay) {
  const int64_t start = loop.NowMs();
  Header();
  const int64_t plain = loop.NowMs() - start;
  options.chbDelayCompatibilita = true;
  const int64_t again = loop.NowMs();
  Header();
  EXPECT_EQ(plain + 400, loop.NowMs() - again);
}

}  // namespace
}  // namespace ecr
