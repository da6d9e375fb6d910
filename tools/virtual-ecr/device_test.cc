// Tests of the virtual printer on the line: NAKs, repeats and fault switches.
#include "device.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vecr {
namespace {

class DeviceTest : public ::testing::Test {
 protected:
  DeviceTest() : printer_(PrinterConfig{}, [] { return std::time_t{1765000000}; }), device_(printer_) {}

  std::vector<Output> Send(const std::string& seq, const std::string& command) {
    return device_.Receive(BuildFrame(seq, command));
  }
  // The answer text of a single immediate answer frame.
  static std::string Text(const std::vector<Output>& out) {
    if (out.size() != 1 || out[0].bytes.size() < 7) return "?";
    const std::string& f = out[0].bytes;
    return f.substr(4, f.size() - 7);
  }
  long Total() { return std::stol(printer_.Execute("1003").substr(41, 9)); }

  Printer printer_;
  Device device_;
};

const std::string kItem = "310110122" + std::string("PANE").append(18, ' ') + "000000100";

TEST_F(DeviceTest, AnswerIsAFrameWithTheSameSequence) {
  auto out = Send("17", "1009");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].delay_ms, 0);
  EXPECT_EQ(out[0].bytes, BuildFrame("17", "100900"));
}

TEST_F(DeviceTest, BadChecksumGetsALoneNakAndIsNotRun) {
  std::string frame = BuildFrame("00", kItem);
  frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
  auto out = device_.Receive(frame);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].bytes, std::string(1, kNak));
  EXPECT_EQ(device_.frames_executed(), 0);
}

TEST_F(DeviceTest, RepeatedSequenceIsAnsweredAgainButRunOnce) {
  auto first = Send("05", kItem);
  auto again = Send("05", kItem);
  EXPECT_EQ(first[0].bytes, again[0].bytes);
  EXPECT_EQ(Total(), 100);
  // The same command under the next sequence number is a new command.
  Send("06", kItem);
  EXPECT_EQ(Total(), 200);
  // So is another command under the same number.
  Send("06", "310110122" + std::string("LATTE").append(17, ' ') + "000000050");
  EXPECT_EQ(Total(), 250);
}

TEST_F(DeviceTest, AcksBetweenFramesAreIgnored) {
  auto out = device_.Receive(std::string(3, kAck));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(Text(Send("00", "1009")), "100900");
}

TEST_F(DeviceTest, NakSwitchRefusesTheNextFrames) {
  ASSERT_EQ(device_.Control("nak 2"), "");
  for (int i = 0; i < 2; ++i) {
    auto out = Send("00", kItem);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, std::string(1, kNak));
  }
  EXPECT_EQ(Text(Send("00", kItem)), "3101");
  EXPECT_EQ(Total(), 100);
}

TEST_F(DeviceTest, SilentSwitchIgnoresFramesWithoutRunningThem) {
  device_.Control("silent 1");
  EXPECT_TRUE(Send("00", kItem).empty());
  EXPECT_EQ(Total(), 0);
  EXPECT_EQ(Text(Send("01", kItem)), "3101");
  EXPECT_EQ(Total(), 100);
}

TEST_F(DeviceTest, LostAnswerRunsTheCommand) {
  device_.Control("lost 1");
  EXPECT_TRUE(Send("00", kItem).empty());
  EXPECT_EQ(Total(), 100);
  // The program's repeat under the same number only gets the answer.
  EXPECT_EQ(Text(Send("00", kItem)), "3101");
  EXPECT_EQ(Total(), 100);
}

TEST_F(DeviceTest, LoneAckThenLateAnswer) {
  device_.Control("lone-ack 1 6000");
  auto out = Send("00", "1009");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].bytes, std::string(1, kAck));
  EXPECT_EQ(out[0].delay_ms, 0);
  EXPECT_EQ(out[1].bytes, BuildFrame("00", "100900"));
  EXPECT_EQ(out[1].delay_ms, 6000);
  EXPECT_EQ(Send("01", "1009").size(), 1u);
}

TEST_F(DeviceTest, DelaySwitch) {
  device_.Control("delay 1 250");
  auto out = Send("00", "1009");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].delay_ms, 250);
}

TEST_F(DeviceTest, ErrorOnceAndAlways) {
  device_.Control("err 3101 16");
  EXPECT_EQ(Text(Send("00", kItem)), "ERR16");
  EXPECT_EQ(Total(), 0);
  EXPECT_EQ(Text(Send("01", kItem)), "3101");
  device_.Control("err 3101 09 always");
  EXPECT_EQ(Text(Send("02", kItem)), "ERR09");
  EXPECT_EQ(Text(Send("03", kItem)), "ERR09");
  EXPECT_EQ(Text(Send("04", "1009")), "100900");
  device_.Control("err 3101 off");
  EXPECT_EQ(Text(Send("05", kItem)), "3101");
  EXPECT_EQ(Total(), 200);
}

TEST_F(DeviceTest, AnswerOverrideKeepsBlanks) {
  ASSERT_EQ(device_.Control("answer 7101 once 71012"), "");
  EXPECT_EQ(Text(Send("00", "7101R000100020101 24")), "71012");
  ASSERT_EQ(device_.Control("answer 1001 once 07/12/2026  10\\x3A30 x"), "");
  EXPECT_EQ(Text(Send("01", "1001")), "07/12/2026  10:30 x");
}

TEST_F(DeviceTest, RawAnswerIsSentAsItIs) {
  ASSERT_EQ(device_.Control("raw 3011 once \\x02007/12/2026 10\\x3A30      0012xx\\x03"), "");
  auto out = Send("00", "3011");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].bytes, "\x02" "007/12/2026 10:30      0012xx\x03");
  // A repeat gets the same bytes; the next one a normal answer.
  EXPECT_EQ(Send("00", "3011")[0].bytes, out[0].bytes);
  EXPECT_EQ(Text(Send("01", "3011")), "3011");
}

TEST_F(DeviceTest, BadEchoIsSentButTheRepeatGetsTheRightAnswer) {
  device_.Control("bad-echo 1");
  EXPECT_EQ(Text(Send("00", "1009")), "900900");
  EXPECT_EQ(Text(Send("00", "1009")), "100900");
}

TEST_F(DeviceTest, StatusAndPaperSwitches) {
  device_.Control("status 10");
  EXPECT_EQ(Text(Send("00", "1009")), "100910");
  EXPECT_EQ(Text(Send("01", kItem)), "ERR37");
  device_.Control("status 00");
  device_.Control("paper-out 0");
  EXPECT_EQ(Text(Send("02", "1009")), "100901");
  EXPECT_EQ(Text(Send("03", kItem)), "ERR16");
  device_.Control("paper-in");
  EXPECT_EQ(Text(Send("04", kItem)), "3101");
  device_.Control("refuse-date on");
  EXPECT_EQ(Text(Send("05", "20010102271530")), "ERR54");
}

TEST_F(DeviceTest, ClearSwitchesEverythingOff) {
  device_.Control("nak 5");
  device_.Control("err 1009 99 always");
  device_.Control("status 54");
  device_.Control("clear");
  EXPECT_EQ(Text(Send("00", "1009")), "100900");
}

TEST_F(DeviceTest, QuitEndsTheProgramOnlyWhenAsked) {
  device_.Control("clear");
  EXPECT_FALSE(device_.quit());
  EXPECT_EQ(device_.Control("quit"), "");
  EXPECT_TRUE(device_.quit());
}

TEST_F(DeviceTest, DropAnswerOnceThenAlwaysByCode) {
  ASSERT_EQ(device_.Control("drop-answer 3101"), "");
  EXPECT_TRUE(Send("00", "1009").size() == 1);  // other codes are answered
  EXPECT_TRUE(Send("01", kItem).empty());
  EXPECT_EQ(Text(Send("01", kItem)), "3101");  // the repeat is answered, not run
  EXPECT_EQ(Total(), 100);
  ASSERT_EQ(device_.Control("drop-answer 3101 always"), "");
  EXPECT_TRUE(Send("02", kItem).empty());
  EXPECT_TRUE(Send("02", kItem).empty());
  EXPECT_EQ(Total(), 200);
  device_.Control("err 3101 off");
  EXPECT_EQ(Text(Send("03", kItem)), "3101");
}

// The power goes when the command arrives: before it is run, or after it is
// run (and would be saved) but before it is answered; later frames are lost.
TEST_F(DeviceTest, DieBeforeAndAfterACommand) {
  for (const char* when : {"die-before", "die-after"}) {
    Printer printer(PrinterConfig{}, [] { return std::time_t{1765000000}; });
    Device device(printer);
    std::vector<std::string> log;
    device.set_log([&](const std::string& line) { log.push_back(line); });
    ASSERT_EQ(device.Control(std::string(when) + " 3101"), "");
    EXPECT_EQ(device.Receive(BuildFrame("00", "1009")).size(), 1u);
    EXPECT_FALSE(device.dead());
    EXPECT_TRUE(device.Receive(BuildFrame("01", kItem) + BuildFrame("02", "1009")).empty()) << when;
    EXPECT_TRUE(device.dead());
    EXPECT_EQ(device.frames_executed(), std::string(when) == "die-after" ? 2 : 1) << when;
    EXPECT_EQ(printer.state().doc.items, std::string(when) == "die-after" ? 1 : 0) << when;
    EXPECT_EQ(log.back(), std::string(when) == "die-after" ? "DIE-AFTER 3101" : "DIE-BEFORE 3101");
  }
}

TEST_F(DeviceTest, PausesAndASlowLine) {
  std::vector<std::string> log;
  std::vector<int64_t> slept;
  device_.set_log([&](const std::string& line) { log.push_back(line); });
  device_.set_sleep([&](int64_t ms) {
    slept.push_back(ms);
    log.push_back("total " + std::to_string(Total()));  // not yet run while held
  });
  ASSERT_EQ(device_.Control("pause-before 3101 700"), "");
  ASSERT_EQ(device_.Control("pause-after 3011 900"), "");
  auto out = Send("00", kItem);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].delay_ms, 0);
  EXPECT_EQ(slept, std::vector<int64_t>{700});
  EXPECT_NE(std::find(log.begin(), log.end(), "PAUSE 3101"), log.end());
  EXPECT_EQ(*(std::find(log.begin(), log.end(), "PAUSE 3101") + 1), "total 0");
  out = Send("01", "3011");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].delay_ms, 900);
  EXPECT_EQ(printer_.state().receipt_number, 1);  // run before the answer is held
  EXPECT_EQ(Send("02", kItem)[0].delay_ms, 0);    // both were one-time rules
  EXPECT_EQ(slept.size(), 1u);
  ASSERT_EQ(device_.Control("delay-line 1500"), "");
  device_.Control("delay 1 100");
  EXPECT_EQ(Send("03", "1009")[0].delay_ms, 1600);
  EXPECT_EQ(Send("04", "1009")[0].delay_ms, 1500);
  device_.Control("clear");
  EXPECT_EQ(Send("05", "1009")[0].delay_ms, 0);
}

TEST_F(DeviceTest, ControlSyntaxErrors) {
  for (const char* bad : {"nak", "nak x", "lone-ack 1", "err 3101 1", "status 1", "bogus 1", "answer 1009 sometimes x",
                          "refuse-date maybe", "drop-answer", "drop-answer 3011 twice", "die-after", "die-before 1 2",
                          "pause-before 3011", "pause-after 3011 x", "delay-line"}) {
    EXPECT_NE(device_.Control(bad), "") << bad;
  }
  EXPECT_EQ(device_.Control(""), "");
  EXPECT_EQ(device_.Control("# comment"), "");
}

}  // namespace
}  // namespace vecr
