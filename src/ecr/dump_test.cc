// Configuration dump and daily totals against a scripted printer.
#include "ecr/dump.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_file_system.h"
#include "testing/fake_serial_port.h"
#include "testing/temp_dir.h"

namespace ecr {
namespace {

using testing_support::FakeSerialPort;
using testing_support::ParseFrame;

const std::string kAck(1, ACK);

std::string Unframed(const std::string& body) { return "\x06" "0000" + body + "00" + std::string(1, ETX); }

std::vector<std::string> Lines(const std::string& bytes) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    out.push_back(bytes.substr(start, end - start));
  EXPECT_EQ(bytes.size(), start) << "every line ends in CR LF";
  return out;
}

class DumpTest : public ::testing::Test {
 protected:
  DumpTest() : port(loop), link(port, loop, options, clock) {
    fs.AddDirectory(dir.path());
    answers["1009"] = "100900";
    answers["1008"] = "1008" "RT" "99MEY012";
    answers["1511"] = "1511" "X99MEY012345678901234561";
    answers["1214"] = "12142";
    answers["1013"] = "1013FW 05.01.02 RT VIRTUAL ECR";
    answers["1109"] = "1109";
    port.SetScript([this](const std::string& w) -> std::vector<FakeSerialPort::Reply> {
      if (w == kAck) return {};
      commands.push_back(ParseFrame(w).command);
      auto it = answers.find(ParseFrame(w).command.substr(0, 4));
      if (it == answers.end() || it->second.empty()) return {};
      return {{Unframed(it->second), 10}};
    });
  }
  int16_t Dump() {
    link.Vexocx21_OpenPort();
    return Vexocx21_DoDumpConf(link, fs, dir.path(), printer);
  }
  // The commands sent, without the status requests between them.
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (const auto& c : commands)
      if (c != "1009") out.push_back(c);
    return out;
  }

  testing_support::FakeEventLoop loop;
  testing_support::ScopedTempDir dir;
  settings::Options options;
  testing_support::FakeClock clock;
  testing_support::FakeFileSystem fs;
  FakeSerialPort port;
  EcrLink link;
  PrinterIdentity printer;
  std::map<std::string, std::string> answers;
  std::vector<std::string> commands;
};

TEST_F(DumpTest, RtPrinter) {
  EXPECT_EQ(0, Dump());
  EXPECT_EQ("X99MEY012345678901234561", printer.identification);
  EXPECT_EQ("99MEY012345", printer.printerSerial);
  EXPECT_TRUE(printer.rtMode);
  EXPECT_EQ(2, printer.taxCodeKind);
  EXPECT_EQ("05.01.02", printer.firmwareVersion);
  EXPECT_EQ((std::vector<std::string>{"1008", "1511", "1214", "1013", "1109"}), Commands());
  // Every command behind its own status request.
  EXPECT_EQ(10u, commands.size());
  for (size_t i = 0; i < commands.size(); i += 2) EXPECT_EQ("1009", commands[i]);
  EXPECT_FALSE(link.state().checkStatusFirst);
}

TEST_F(DumpTest, TraceFile) {
  Dump();
  auto lines = Lines(fs.Contents(dir.File("tracedump.txt")));
  std::vector<std::string> texts;
  for (const auto& l : lines) {
    ASSERT_GT(l.size(), 21u);
    EXPECT_EQ(" <--> ", l.substr(15, 6));
    texts.push_back(l.substr(21));
  }
  EXPECT_EQ((std::vector<std::string>{
                " --> Dump di configurazione Custom ",
                " --> 1008",
                " <-- 1008RT99MEY012 -/- 99MEY012",
                " --> 1511",
                " <-- 1511X99MEY012345678901234561 -/- X99MEY012345678901234561",
                " --> 1214",
                " <-- 12142 -/- 2",
                " --> 1013",
                " <-- 1013FW 05.01.02 RT VIRTUAL ECR -/- 2",
                " --> 1109",
                " <-- 1109",
            }),
            texts);
}

TEST_F(DumpTest, TraceFileHoldsOnlyTheLastDump) {
  Dump();
  Dump();
  const std::string bytes = fs.Contents(dir.File("tracedump.txt"));
  EXPECT_EQ(bytes.find("Dump di configurazione"), bytes.rfind("Dump di configurazione"));
}

TEST_F(DumpTest, MfPrinterWithoutIdentification) {
  answers["1511"] = "ERR04";
  answers["1013"] = "1013 Rel. 5.1A ";
  EXPECT_EQ(0, Dump());
  EXPECT_EQ("99MEY012", printer.identification);
  EXPECT_EQ("5.1A", printer.firmwareVersion);
}

TEST_F(DumpTest, SilentPrinter) {
  answers.clear();
  EXPECT_EQ(-8, Dump());
  EXPECT_EQ("", printer.identification);
  // "1008" and "1109" never get past their status requests.
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(14u, commands.size());
}

TEST_F(DumpTest, StatusFailsTheDump) {
  const struct {
    const char* status;
    int16_t result;
  } cases[] = {{"11", -9}, {"10", -5}, {"12", -5}, {"01", -4}};
  for (const auto& c : cases) {
    answers["1009"] = std::string("1009") + c.status;
    EXPECT_EQ(c.result, Dump()) << c.status;
  }
}

TEST_F(DumpTest, ModelFailureSkipsTheFirmwareButSucceeds) {
  printer.firmwareVersion = "old";
  answers["1214"] = "ERR04";
  EXPECT_EQ(0, Dump());
  EXPECT_EQ((std::vector<std::string>{"1008", "1511", "1214", "1109"}), Commands());
  EXPECT_EQ(0, printer.taxCodeKind);
}

TEST_F(DumpTest, FirmwareFailureFailsTheDump) {
  answers["1013"] = "ERR37";
  EXPECT_EQ(-5, Dump());
  EXPECT_EQ("", printer.firmwareVersion);
}

TEST_F(DumpTest, ClosedPort) {
  EXPECT_EQ(-1, Vexocx21_DoDumpConf(link, fs, dir.path(), printer));
  EXPECT_TRUE(commands.empty());
  EXPECT_TRUE(fs.HasFile(dir.File("tracedump.txt")));
}

TEST(FirmwareTest, Release) {
  const struct {
    const char* answer;
    const char* release;
  } cases[] = {
      {"1013CUSTOM   01.02.03   RT PRINTER", "01.02.03"},
      {"1013 Custom Rel. 5.1A ", "5.1A"},
      {"1013 Custom Rel. 5.1A", ""},      // the blank after the release is required
      {"1013CUSTOM 1.02.03 X", ""},       // two digits each
      {"1013FW 05.01.02 RT VIRTUAL ECR", "05.01.02"},
      // A carriage return inside the text is any other character.
      {"1013CUSTOM 01.02.03 RT\r42\x03", "01.02.03"},
      {"1013 Custom\r Rel. 5.1A ", "5.1A"},
      // As kept from a framed answer: the checksum and ETX follow the text.
      {"1013 Custom Rel. 5.1A 21\x03", "5.1A"},
      {"1013 Custom Rel. 5.1A21\x03", ""},
      {"1013CUSTOM 01.02.03 RT 45\x03", "01.02.03"},
      {"1013CUSTOM 01.02.03 45\x03", "01.02.03"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.release, FirmwareFromAnswer(c.answer)) << c.answer;
}

TEST(DumpMessagesTest, Failures) {
  EXPECT_EQ("E509: Coperchio stampante aperto e fine carta stampante", DumpFailureMessage(-9));
  EXPECT_EQ("E501: Dump non eseguito, verificare se Ecr in errore o non connesso", DumpFailureMessage(-8));
  EXPECT_EQ("E509: Coperchio stampante aperto", DumpFailureMessage(-5));
  EXPECT_EQ("E096: Fine carta scontrino, sostituire rotolo", DumpFailureMessage(-4));
  EXPECT_EQ("Errore generico sull'Ecr, verificare sul manuale del registratore", DumpFailureMessage(-1));
  EXPECT_EQ("-8 : DUMP NON ESEGUITO", DumpFailureField(-8));
  EXPECT_EQ("NO RICEZIONE : DUMP NON ESEGUITO", DumpFailureField(-10));
}

// A "1004" answer with the given 1-based fields.
std::string CountersWith(const std::map<int, std::string>& fields) {
  std::string body(92, '0');
  body.replace(0, 4, "1004");
  for (const auto& [pos, text] : fields) body.replace(size_t(pos - 1), text.size(), text);
  return body;
}

class TotalsTest : public DumpTest {
 protected:
  std::vector<std::string> Totals(char separator) {
    failed = ScriviTotaliGiornalieri(link, fs, dir.path(), "totali.txt", separator);
    return Lines(fs.Contents(dir.File("totali.txt")));
  }
  bool failed = false;
};

TEST_F(TotalsTest, AllRows) {
  answers["1004"] = CountersWith({{5, "0012"},
                                  {9, "000100000"},
                                  {18, "0003"},
                                  {22, "000004550"},
                                  {31, "0001"},
                                  {35, "000000199"},
                                  {44, "0002"},
                                  {48, "000000500"},
                                  {57, "000001500"},
                                  {66, "000000007"},
                                  {75, "000012345"},
                                  {84, "000000010"}});
  answers["1104"] = "1104" "0017" "1983";
  EXPECT_EQ((std::vector<std::string>{
                "DataCode|DataDescription|Value|Index",
                "80|NUM.SCONTR.FISCALI|12",
                "1|TOT.SCONTR.FISCALI|1000,00",
                "86|NUM.FATTURE|3",
                "15|TOT.FATTURE|45,50",
                "87|NUM.RICEVUTE FISC.|1",
                "16|TOT.RICEVUTE FISC.|1,99",
                "82|NUM.SCONTR.LETT.MF|2",
                "9|TOT.MAGGIORAZIONI|5,00",
                "7|TOT.SCONTI|15,00",
                "12|TOT.ANNULLI|0,07",
                "11|TOT.RESI|123,45",
                "28|TOT.CORR. NON PAG.|0,10",
                "18|TOT.LORDO GIORN.|990,00",
                "83|NUM.AZZ.FISC.|17",
            }),
            Totals(','));
  EXPECT_FALSE(failed);
  EXPECT_EQ("18|TOT.LORDO GIORN.|990.00", Totals('.')[13]);
}

TEST_F(TotalsTest, MissingPartsAreZero) {
  answers["1004"] = "1004" "0012" "000100000";
  answers["1104"] = "1104" "0017" "1983";
  auto lines = Totals(',');
  ASSERT_EQ(15u, lines.size());
  EXPECT_EQ("1|TOT.SCONTR.FISCALI|1000,00", lines[2]);
  EXPECT_EQ("86|NUM.FATTURE|0", lines[3]);
  EXPECT_EQ("28|TOT.CORR. NON PAG.|0,00", lines[12]);
}

TEST_F(TotalsTest, FailedClosingCountHasNoRow) {
  answers["1004"] = CountersWith({{5, "0012"}});
  answers["1104"] = "ERR9912345";
  auto lines = Totals(',');
  EXPECT_EQ(14u, lines.size());
  EXPECT_TRUE(failed);
  EXPECT_EQ("18|TOT.LORDO GIORN.|0,00", lines.back());
}

TEST_F(TotalsTest, FailedCountersGiveZeros) {
  answers["1004"] = "ERR16" "0099" "000100000";
  answers["1104"] = "1104" "0017" "1983";
  auto lines = Totals(',');
  ASSERT_EQ(15u, lines.size());
  EXPECT_EQ("80|NUM.SCONTR.FISCALI|0", lines[1]);
  EXPECT_EQ("1|TOT.SCONTR.FISCALI|0,00", lines[2]);
}

}  // namespace
}  // namespace ecr
