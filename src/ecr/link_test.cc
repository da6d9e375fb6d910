// The link against a scripted port on virtual time.
#include "ecr/link.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_serial_port.h"

namespace ecr {
namespace {

using testing_support::AnswerFrame;
using testing_support::FakeSerialPort;
using testing_support::ParseFrame;
using testing_support::Printer;

const std::string kNak(1, NAK), kAck(1, ACK);

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() : port(loop), link(port, loop, options, clock) {
    options.chbTrace = true;
    link.SetTraceSink([this](const std::string& line) { trace.push_back(line); });
  }

  // Trace lines without their time stamp, after checking its form.
  std::vector<std::string> TraceTexts() {
    std::vector<std::string> out;
    const std::regex stamp("^\\d{8}_\\d{6} <--> ");
    for (const auto& line : trace) {
      EXPECT_TRUE(std::regex_search(line, stamp)) << line;
      out.push_back(line.substr(21));
    }
    return out;
  }
  std::vector<std::string> Sequences() {
    std::vector<std::string> out;
    for (const auto& f : port.frames()) out.push_back(ParseFrame(f).sequence);
    return out;
  }
  int Acks() {
    int n = 0;
    for (const auto& w : port.writes()) n += w == kAck;
    return n;
  }

  testing_support::FakeEventLoop loop;
  settings::Options options;
  testing_support::FakeClock clock;
  FakeSerialPort port;
  EcrLink link;
  std::vector<std::string> trace;
};

// Echoes the command code with a status "00".
std::string Ready(const std::string& command) { return command.substr(0, 4) + "00"; }

TEST(CalcolaChecksumTest, SumOfBytesModuloHundred) {
  EXPECT_EQ("46", CalcolaChecksum("0001009"));  // 346
  EXPECT_EQ("00", CalcolaChecksum(""));
  EXPECT_EQ("05", CalcolaChecksum(std::string(1, char(5))));
  // Bytes above 127 count as their unsigned value (0xE0 = 224).
  EXPECT_EQ("24", CalcolaChecksum("\xE0"));
}

TEST(CurrDateTimeTest, Format) {
  platform::LocalTime t;
  t.year = 2024;
  t.month = 5;
  t.day = 3;
  t.hour = 14;
  t.minute = 5;
  t.second = 9;
  EXPECT_EQ("20240503_140509 <--> ", CurrDateTime(t));
}

TEST_F(LinkTest, FirstFrameOfTheProgram) {
  port.SetScript(Printer(Ready));
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  ASSERT_EQ(1u, port.frames().size());
  EXPECT_EQ(std::string("\x02" "0001009" "46" "\x03"), port.frames()[0]);
  EXPECT_EQ(1, Acks());
  EXPECT_EQ(1, port.opens());
}

// An STX/ETX pair inside a command would be a second frame the printer
// carries out: no command with a byte below 0x20 goes out, and inside a
// document none after it either.
TEST_F(LinkTest, CommandWithAControlByteIsNeverFramed) {
  port.SetScript(Printer(Ready));
  for (int b = 0; b < 0x20; ++b) {
    trace.clear();
    const std::string command = "3002122A" + std::string(1, char(b)) + "2003" + std::string(1, char(b));
    EXPECT_EQ(kControlByteInCommand, link.TrasmettiStringa(command)) << b;
    EXPECT_TRUE(port.writes().empty()) << b;
    ASSERT_EQ(1u, trace.size()) << b;
    EXPECT_NE(std::string::npos, trace[0].find("carattere di controllo")) << b;
  }
  // Outside a document the next command goes out as ever.
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ(1u, port.frames().size());

  link.BeginDocument();
  EXPECT_EQ(kControlByteInCommand, link.TrasmettiStringa("30021\x02"));
  EXPECT_TRUE(link.controlByteRefused());
  EXPECT_EQ(kControlByteInCommand, link.TrasmettiStringa("3003"));
  link.EndDocument();
  EXPECT_FALSE(link.controlByteRefused());
  EXPECT_EQ(0, link.TrasmettiStringa("3003"));
  EXPECT_EQ((std::vector<std::string>{"1009", "3003"}), [&] {
    std::vector<std::string> sent;
    for (const auto& f : port.frames()) sent.push_back(ParseFrame(f).command);
    return sent;
  }());
}

TEST_F(LinkTest, SequenceRunsOnAndWrapsAfter99) {
  port.SetScript(Printer(Ready));
  link.TrasmettiStringa("1009");
  link.TrasmettiStringa("1009");
  link.state().sequence = "98";
  link.TrasmettiStringa("1009");
  link.TrasmettiStringa("1009");
  link.TrasmettiStringa("1009");
  EXPECT_EQ((std::vector<std::string>{"00", "01", "99", "00", "01"}), Sequences());
}

TEST_F(LinkTest, FiveRefusalsGiveOneWithoutTrace) {
  port.SetScript([](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    return {{kNak, 5}};
  });
  EXPECT_EQ(1, link.TrasmettiStringa("1001"));
  ASSERT_EQ(5u, port.frames().size());
  for (const auto& f : port.frames()) EXPECT_EQ(port.frames()[0], f);
  EXPECT_EQ(0, Acks());
  EXPECT_TRUE(trace.empty());
}

TEST_F(LinkTest, RefusalThenAnswerResendsTheSameFrame) {
  int sends = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    if (++sends < 3) return {{kNak, 5}};
    return {{AnswerFrame(ParseFrame(w).sequence, "100100"), 5}};
  });
  EXPECT_EQ(0, link.TrasmettiStringa("1001"));
  EXPECT_EQ((std::vector<std::string>{"00", "00", "00"}), Sequences());
}

TEST_F(LinkTest, SilentPrinterGetsTheSameFrameSevenTimes) {
  const int64_t start = loop.NowMs();
  EXPECT_EQ(1, link.TrasmettiStringa("1001"));
  ASSERT_EQ(7u, port.frames().size());
  for (const auto& f : port.frames()) EXPECT_EQ(port.frames()[0], f);
  EXPECT_EQ(7, Acks());  // an ACK follows every wait, also a silent one
  auto lines = TraceTexts();
  EXPECT_EQ(7, std::count(lines.begin(), lines.end(), " <-- InputBuffer vuoto"));
  // Seven 5 s waits and the pause of the last, unusable, answer.
  EXPECT_EQ(7 * 5000 + 100, loop.NowMs() - start);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(" --> 0001001" + CalcolaChecksum("0001001"), lines.back());
  // The next command takes the next number.
  port.SetScript(Printer(Ready));
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ("01", Sequences().back());
}

// The printer ran the item and only its answer was lost: the resend after the
// silent wait is the same frame, which such a printer answers from memory
// instead of registering the item again.
TEST_F(LinkTest, LostAnswerIsAskedForUnderTheSameNumber) {
  std::map<std::string, std::string> run;  // sequence -> command carried out
  int items = 0, sends = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    const auto frame = ParseFrame(w);
    ++sends;
    const bool repeat = run.count(frame.sequence) && run[frame.sequence] == frame.command;
    if (!repeat) {
      run[frame.sequence] = frame.command;
      ++items;
    }
    if (sends == 1) return {};  // carried out, answer lost
    return {{AnswerFrame(frame.sequence, frame.command.substr(0, 4)), 10}};
  });
  const std::string item = "310110122PANE" + std::string(18, ' ') + "000000100";
  const int64_t start = loop.NowMs();
  EXPECT_EQ(0, link.TrasmettiStringa(item));
  EXPECT_EQ(1, items);
  EXPECT_EQ((std::vector<std::string>{"00", "00"}), Sequences());
  EXPECT_EQ(5000 + 10, loop.NowMs() - start);
  auto lines = TraceTexts();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ(" <-- InputBuffer vuoto", lines[0]);
  EXPECT_EQ(" --> 000" + item + CalcolaChecksum("000" + item), lines[1]);
}

TEST_F(LinkTest, AnswerTimeOutDependsOnTheCommand) {
  for (const std::string cmd : {"1003", "1004", "1001", "10040"}) {
    FakeSerialPort p(loop);
    EcrLink l(p, loop, options, clock);
    const int64_t start = loop.NowMs();
    l.TrasmettiStringa(cmd);
    const int64_t wait = (cmd == "1003" || cmd == "1004") ? 8000 : 5000;
    EXPECT_EQ(7 * wait + 100, loop.NowMs() - start) << cmd;
  }
}

TEST_F(LinkTest, WrongEchoPausesAndResendsTheSameFrame) {
  for (bool compat : {false, true}) {
    options.chbDelayCompatibilita = compat;
    FakeSerialPort p(loop);
    EcrLink l(p, loop, options, clock);
    std::vector<int64_t> sent;
    p.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
      if (w == kAck) return {};
      sent.push_back(loop.NowMs());
      const std::string body = sent.size() == 1 ? "1009" "00" : "1001" "030524" "1405";
      return {{AnswerFrame(ParseFrame(w).sequence, body), 10}};
    });
    EXPECT_EQ(0, l.TrasmettiStringa("1001"));
    ASSERT_EQ(2u, p.frames().size());
    EXPECT_EQ(p.frames()[0], p.frames()[1]);
    EXPECT_EQ(10 + (compat ? 200 : 100), sent[1] - sent[0]);
  }
}

TEST_F(LinkTest, SilenceAndWrongEchoShareSevenSends) {
  int sends = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    // Odd sends get a wrong echo, even ones silence.
    if (++sends % 2 == 1) return {{AnswerFrame(ParseFrame(w).sequence, "9999"), 10}};
    return {};
  });
  EXPECT_EQ(1, link.TrasmettiStringa("1001"));
  EXPECT_EQ(7, sends);
  // Both keep the number.
  EXPECT_EQ(std::vector<std::string>(7, "00"), Sequences());
}

TEST_F(LinkTest, PrinterErrorCodes) {
  const struct {
    const char* code;
    int16_t result;
    bool traced;
  } cases[] = {
      {"09", -2, true},  {"12", -31, true}, {"16", -4, true},  {"20", -8, true},  {"21", -7, false},
      {"98", -7, false}, {"23", -10, true}, {"30", -11, true}, {"31", -12, true}, {"37", -5, true},
      {"51", -3, true},  {"54", -13, true}, {"99", -99, true}, {"29", -29, true}, {"77", -1, true},
  };
  for (const auto& c : cases) {
    trace.clear();
    FakeSerialPort p(loop);
    EcrLink l(p, loop, options, clock);
    l.SetTraceSink([this](const std::string& line) { trace.push_back(line); });
    std::string raw;
    p.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
      if (w == kAck) return {};
      raw = AnswerFrame(ParseFrame(w).sequence, std::string("ERR") + c.code);
      return {{raw, 10}};
    });
    EXPECT_EQ(c.result, l.TrasmettiStringa("3001")) << c.code;
    EXPECT_EQ(c.code, l.lastErrorCode());
    EXPECT_EQ(1u, p.frames().size()) << "no echo check after an error";
    if (c.traced) {
      auto lines = TraceTexts();
      ASSERT_EQ(2u, lines.size()) << c.code;
      EXPECT_EQ(" --> 0003001" + CalcolaChecksum("0003001"), lines[0]);
      EXPECT_EQ(" <-- " + raw + "|" + c.code, lines[1]);
    } else {
      EXPECT_TRUE(trace.empty()) << c.code;
    }
  }
}

TEST_F(LinkTest, LastErrorCodeIsClearedByTheNextExchange) {
  int n = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    return {{AnswerFrame(ParseFrame(w).sequence, ++n == 1 ? "ERR54" : "100900"), 10}};
  });
  EXPECT_EQ(-13, link.TrasmettiStringa("1009"));
  EXPECT_EQ("54", link.lastErrorCode());
  EXPECT_EQ(0, link.TrasmettiStringa("1009"));
  EXPECT_EQ("", link.lastErrorCode());
}

TEST_F(LinkTest, LoneAckThenTheRealAnswer) {
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    // The ACK alone, then the answer 12 s after the 5 s time-out.
    return {{kAck, 20}, {AnswerFrame(ParseFrame(w).sequence, "100100"), 5000 + 12000}};
  });
  EXPECT_EQ(0, link.TrasmettiStringa("1001"));
  EXPECT_EQ(1u, port.frames().size());
  EXPECT_EQ(2, Acks());
  EXPECT_EQ("100100" + CalcolaChecksum("00" "0" "100100") + "\x03", link.lastAnswer());
}

TEST_F(LinkTest, LoneAckWithoutAnswerEndsInSilence) {
  int sends = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    if (++sends == 1) return {{kAck, 20}};
    return {{AnswerFrame(ParseFrame(w).sequence, "100100"), 20}};
  });
  const int64_t start = loop.NowMs();
  EXPECT_EQ(0, link.TrasmettiStringa("1001"));
  // The ACK does not end the 5 s wait; then 15 s for a byte, 5 s more, and a
  // silent wait means the same frame again.
  EXPECT_EQ((std::vector<std::string>{"00", "00"}), Sequences());
  EXPECT_EQ(5000 + 15000 + 5000 + 20, loop.NowMs() - start);
}

TEST_F(LinkTest, AnswerCuttingRules) {
  const std::string stx(1, STX), etx(1, ETX);
  const struct {
    std::string raw;
    std::string body;
  } cases[] = {
      // A colon wins over STX: first two and last three characters go.
      {stx + "000" + "1001 03/05/24 14:05" + "12" + etx, "00" "1001 03/05/24 14:05"},
      // STX at position p: from p+4 to the end, checksum and ETX included.
      {kAck + stx + "000" + "100100" + "77" + etx, "100100" "77" + etx},
      // Neither: from position 6, without the last three.
      {"XXXXX" "100100" "YY" + etx, "100100"},
  };
  for (const auto& c : cases) {
    FakeSerialPort p(loop);
    EcrLink l(p, loop, options, clock);
    p.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
      if (w == kAck) return {};
      return {{c.raw, 10}};
    });
    l.TrasmettiStringa("1001");
    EXPECT_EQ(c.body, l.lastAnswer()) << c.raw;
  }
}

TEST_F(LinkTest, RefusedCommand7101) {
  port.SetScript(Printer([](const std::string&) { return "71012"; }));
  EXPECT_EQ(-30, link.TrasmettiStringa("710100"));
  auto lines = TraceTexts();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ(" --> 710100", lines[0]);
  EXPECT_EQ(" <-- " + link.lastAnswer(), lines[1]);
}

TEST_F(LinkTest, Accepted7101IsNotARefusal) {
  port.SetScript(Printer([](const std::string&) { return "71010"; }));
  EXPECT_EQ(0, link.TrasmettiStringa("710100"));
}

TEST_F(LinkTest, CompletedExchangeTrace) {
  std::string raw;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    raw = AnswerFrame(ParseFrame(w).sequence, "100900");
    return {{raw, 10}};
  });
  link.TrasmettiStringa("1009");
  EXPECT_EQ((std::vector<std::string>{" --> 000100946", " <-- " + raw}), TraceTexts());
}

TEST_F(LinkTest, NoTraceWithoutTheOptionOrTheSink) {
  port.SetScript(Printer(Ready));
  options.chbTrace = false;
  link.TrasmettiStringa("1009");
  EXPECT_TRUE(trace.empty());
  options.chbTrace = true;
  link.SetTraceSink(nullptr);
  link.TrasmettiStringa("1009");
  EXPECT_TRUE(trace.empty());
}

TEST_F(LinkTest, PortThatCannotOpen) {
  port.open_fails = true;
  EXPECT_EQ(-8, link.TrasmettiStringa("1009"));
  EXPECT_TRUE(port.writes().empty());
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(LinkTest, ProgrammaPortaSerialeReportsAMissingDevice) {
  EXPECT_EQ(0, link.ProgrammaPortaSeriale(2));
  EXPECT_EQ(2, port.port());
  port.device_present = false;
  EXPECT_EQ(1, link.ProgrammaPortaSeriale(3));
}

TEST_F(LinkTest, OpenAndCloseFollowTheCurrentPort) {
  link.SetCurrentPort(3);
  link.Vexocx21_OpenPort();
  EXPECT_TRUE(link.IsPortOpen());
  EXPECT_EQ(3, port.port());
  link.Vexocx21_OpenPort();
  EXPECT_EQ(1, port.opens());
  link.Vexocx21_ClosePort();
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(LinkTest, StatusFirst) {
  const struct {
    const char* status;
    int16_t result;
  } cases[] = {{"00", 0},   {"10", -5}, {"01", -4},  {"11", -9}, {"12", -5},
               {"54", -13}, {"99", -99}, {"42", -1}, {"", -1}};
  for (const auto& c : cases) {
    FakeSerialPort p(loop);
    EcrLink l(p, loop, options, clock);
    l.state().checkStatusFirst = true;
    p.SetScript(Printer([&](const std::string& cmd) { return cmd == "1009" ? std::string("1009") + c.status : "1105" "0000012345"; }));
    EXPECT_EQ(c.result, l.TrasmettiStringa("1105")) << c.status;
    // The status request and, only when ready, the command.
    EXPECT_EQ(c.result == 0 ? 2u : 1u, p.frames().size()) << c.status;
    EXPECT_EQ("1009", ParseFrame(p.frames()[0]).command);
  }
}

TEST_F(LinkTest, StatusFirstWithASilentPrinter) {
  link.state().checkStatusFirst = true;
  EXPECT_EQ(-8, link.TrasmettiStringa("1008"));
  // Seven status requests under one sequence number, nothing else.
  EXPECT_EQ(std::vector<std::string>(7, "00"), Sequences());
  for (const auto& f : port.frames()) EXPECT_EQ("1009", ParseFrame(f).command);
}

TEST_F(LinkTest, VerificaStato) {
  link.Vexocx21_OpenPort();
  port.SetScript(Printer([](const std::string&) { return "100901"; }));
  EXPECT_EQ("01", link.VerificaStato());
  port.SetScript(Printer([](const std::string&) { return "ERR20"; }));
  EXPECT_EQ("", link.VerificaStato());
  EXPECT_EQ(2u, port.frames().size());
}

TEST_F(LinkTest, RefusedStatusRequestRestartsTheSequence) {
  int sends = 0;
  port.SetScript([&](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
    if (w == kAck) return {};
    if (++sends == 1) return {{kNak, 5}};
    return {{AnswerFrame(ParseFrame(w).sequence, "1009" "00"), 5}};
  });
  link.Vexocx21_OpenPort();
  link.state().sequenceStarted = true;
  link.state().sequence = "41";
  EXPECT_EQ("00", link.VerificaStato());
  EXPECT_FALSE(link.state().sequenceStarted);
  link.TrasmettiStringa("1009");
  EXPECT_EQ((std::vector<std::string>{"42", "42", "00"}), Sequences());
}

TEST_F(LinkTest, AttendiRounds) {
  const struct {
    float ms;
    int64_t waited;
  } cases[] = {{30, 0}, {49, 0}, {50, 50}, {100, 100}, {149, 100}, {1000, 1000}};
  for (const auto& c : cases) {
    const int64_t start = loop.NowMs();
    link.Attendi(c.ms);
    EXPECT_EQ(c.waited, loop.NowMs() - start) << c.ms;
  }
}

TEST_F(LinkTest, RaisedTimeOutEndsEveryWait) {
  loop.AddTimer(1000, [this] { link.RaiseTimedOut(); });
  const int64_t start = loop.NowMs();
  EXPECT_EQ(1, link.TrasmettiStringa("1001"));
  EXPECT_EQ(1000, loop.NowMs() - start);
  // The cut-short wait is not followed by resends, nor does a later
  // exchange send anything while the program closes.
  EXPECT_EQ(1u, port.frames().size());
  EXPECT_EQ(1, link.TrasmettiStringa("1109"));
  EXPECT_EQ("1", link.VerificaStato());
  EXPECT_EQ(1u, port.frames().size());
  link.Attendi(1000);
  EXPECT_EQ(1000, loop.NowMs() - start);
}

}  // namespace
}  // namespace ecr
