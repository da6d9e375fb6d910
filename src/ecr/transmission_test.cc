// The document transmission against a scripted printer on virtual time.
#include "ecr/transmission.h"

#include <gtest/gtest.h>

#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "language/language.h"
#include "settings/document.h"
#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_file_system.h"
#include "testing/fake_serial_port.h"
#include "testing/temp_dir.h"

namespace ecr {
namespace {

using testing_support::FakeSerialPort;
using testing_support::ParseFrame;

// What the transmission tells on the way, with the frames out by then.
struct RecordedEvents : TransmissionEvents {
  explicit RecordedEvents(FakeSerialPort& p) : port(p) {}
  void PaperEndWait() override { paperEnds.push_back(port.frames().size()); }
  void ClosingAboutToBeSent(int counterBefore) override {
    closings.push_back({counterBefore, port.frames().size()});
  }
  FakeSerialPort& port;
  std::vector<size_t> paperEnds;
  std::vector<std::pair<int, size_t>> closings;
};

class TransmissionTest : public ::testing::Test {
 protected:
  TransmissionTest() : port(loop), link(port, loop, options, clock) {
    fs.AddDirectory(dir.path());
    port.SetScript(testing_support::Printer([this](const std::string& c) { return Answer(c); }));
    ctx.decimalSeparator = '.';
    ctx.dataDir = dir.path();
  }

  // Scripted answers: a queue per command code, then the default echo.
  std::string Answer(const std::string& command) {
    std::string code = command.substr(0, 4);
    auto it = queued.find(code);
    if (it != queued.end() && !it->second.empty()) {
      std::string a = it->second.front();
      it->second.erase(it->second.begin());
      return a;
    }
    if (code == "1009") return "100900";
    return code + "00";
  }
  int16_t Send(const std::string& document) {
    doc.commands = language::SplitLines(document);
    result = DoSendFile(link, fs, doc, ctx, events);
    return result.status;
  }
  std::vector<std::string> Commands() {
    std::vector<std::string> out;
    for (const auto& f : port.frames()) out.push_back(ParseFrame(f).command);
    return out;
  }
  int Count(const std::string& command) {
    int n = 0;
    for (const auto& c : Commands()) n += c == command;
    return n;
  }

  testing_support::ScopedTempDir dir;
  testing_support::FakeEventLoop loop;
  settings::Options options;
  testing_support::FakeClock clock;
  testing_support::FakeFileSystem fs;
  FakeSerialPort port;
  EcrLink link;
  NativeDocument doc;
  NativeDocument& shared = doc;
  TransmissionContext ctx;
  RecordedEvents events{port};
  TransmissionResult result;
  std::map<std::string, std::vector<std::string>> queued;
};

TEST(PaymentLineTest, NameThenAmountBehind127) {
  std::string line = PaymentLine("RESTO", "12.50");
  ASSERT_EQ(line.size(), 40u);
  EXPECT_EQ(line, "RESTO" + std::string(15, ' ') + std::string(13, ' ') + char(127) + " 12.50");
}

TEST_F(TransmissionTest, LinesGoOutInOrderAndAnnullaOnlyBeforeTheFirst) {
  queued["Annu"] = {"ERR01"};
  EXPECT_EQ(Send("Annulla\r\n3001\r\n3002Annulla\r\n"), 0);
  std::vector<std::string> c = Commands();
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c[0], "Annulla");
  EXPECT_EQ(c[1], "3001");
  EXPECT_EQ(c[2], "3002Annulla");
  EXPECT_FALSE(link.IsPortOpen());
}

TEST_F(TransmissionTest, PrinterErrorsStopTheDocumentWithTheirStatus) {
  struct Case {
    std::string answer;
    int16_t status;
  } cases[] = {
      {"ERR09", 1}, {"ERR20", 3},  {"ERR23", 4},  {"ERR37", 7},  {"ERR51", 8},  {"ERR77", 9},
      {"ERR21", 10}, {"ERR98", 10}, {"ERR12", 12}, {"ERR54", 13},
  };
  for (const auto& c : cases) {
    port.device_present = true;
    queued["3002"] = {c.answer};
    EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), c.status) << c.answer;
    EXPECT_EQ(Commands().back(), "3002") << c.answer;
  }
}

// A line or a payment text with a control byte ends the document: nothing
// of it goes out from there on, and the next document goes out whole.
TEST_F(TransmissionTest, ControlByteStopsTheDocument) {
  EXPECT_EQ(Send("3001\r\n3002A\x02" "2003\x03\r\n3003\r\n"), kDocumentControlByte);
  EXPECT_EQ(Commands(), (std::vector<std::string>{"3001"}));

  shared.facts.paymentSeen = shared.facts.otherDue = true;
  shared.facts.paymentText = "BUONI\x02";
  EXPECT_EQ(Send("3001\r\n3007010000000000000\r\n3003\r\n"), kDocumentControlByte);
  EXPECT_EQ(Commands().back(), "1003");
  EXPECT_EQ(Count("3003") + Count("70081") + Count("3013"), 0);

  shared.facts = {};
  EXPECT_EQ(Send("3001\r\n3003\r\n"), 0);
  EXPECT_EQ(Count("3003"), 1);
}

TEST_F(TransmissionTest, SilentPrinterStopsTheDocument) {
  port.SetScript(testing_support::Printer([](const std::string& c) { return c.rfind("3002", 0) == 0 ? "" : c.substr(0, 4) + "00"; }));
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), 11);
  EXPECT_EQ(Count("3003"), 0);
  EXPECT_EQ(Count("3002"), 7);
}

TEST_F(TransmissionTest, ReceiptStampFromAnAnswerWithAColon) {
  // An answer with ":" loses its first two and last three characters.
  const std::string stamp = "07/12/2026 10:15 N. 0042";
  auto normal = testing_support::Printer([this](const std::string& c) { return Answer(c); });
  port.SetScript([&](const std::string& written) -> std::vector<FakeSerialPort::Reply> {
    if (ParseFrame(written).command.rfind("07/1", 0) == 0) return {{std::string(1, STX) + "0" + stamp + "00" + ETX, 10}};
    return normal(written);
  });
  EXPECT_EQ(Send("07/12\r\n3001\r\n"), 0);
  std::string out = result.out;
  EXPECT_EQ(out.substr(0, out.find("Versione")),
            "TIME,CASS. 1 10:15 CASSA   1 ,E,A1;\r\nDATE,07/12/26  SCONTR. N.0042,E,A1;\r\n");

  // A document stopped by the printer leaves the stamp it got, without the header.
  queued["3001"] = {"ERR37"};
  EXPECT_EQ(Send("07/12\r\n3001\r\n3002\r\n"), 7);
  EXPECT_EQ(result.out, "TIME,CASS. 1 10:15 CASSA   1 ,E,A1;\r\nDATE,07/12/26  SCONTR. N.0042,E,A1;\r\n");
}

TEST_F(TransmissionTest, DailyTotalsOnlyInsideTheDataDirectory) {
  EXPECT_EQ(Send("READ,1,totali.txt\r\n3001\r\n"), 0);
  EXPECT_EQ(fs.Contents(dir.File("totali.txt")).rfind("DataCode|DataDescription|Value|Index\r\n", 0), 0u);
  EXPECT_EQ(Count("1004"), 1);
  EXPECT_EQ(Count("READ,1,totali.txt"), 0);

  // A target outside ends the document like a conversion error; its SR_OUT is empty.
  EXPECT_EQ(Send("3001\r\nREAD,2,../totali.txt\r\n3002\r\n"), 2);
  EXPECT_EQ(Count("3002"), 0);
  EXPECT_EQ(Count("1004"), 1);
  EXPECT_EQ(result.out, "");

  // A "READ" that asks for no totals is an ordinary line, as before.
  Send("READ,3,/etc/totali.txt\r\n");
  EXPECT_EQ(Count("READ,3,/etc/totali.txt"), 1);
}

#ifndef _WIN32
// A host's links in the data directory on a real disk: a "READ" through a
// linked folder, a linked parent or ".." after a link writes nothing there
// and ends the document as a target outside does; a real subfolder is served.
TEST_F(TransmissionTest, DailyTotalsNeverThroughALink) {
  testing_support::ScopedTempDir program;
  auto real = platform::FileSystem::CreateReal();
  testing_support::WriteFileBytes(program.File("QLTOKEN.TXT"), "token");
  ASSERT_TRUE(real->MakeDirectory(dir.File("sub")));
  ASSERT_EQ(0, symlink(program.path().c_str(), dir.File("cfg").c_str()));
  ASSERT_EQ(0, symlink(program.path().c_str(), dir.File("sub/up").c_str()));
  const struct {
    const char* target;
    int16_t status;
  } cases[] = {
      {"cfg/QLTOKEN.TXT", kDocumentNotSent},     // a linked folder
      {"cfg/QLPOSURL.TXT", kDocumentNotSent},    // a new file there
      {"sub/up/QLTOKEN.TXT", kDocumentNotSent},  // a linked parent further down
      {"cfg/../QLTOKEN.TXT", kDocumentNotSent},  // ".." after a link
      {"sub/totali.txt", kDocumentDone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    const int sent = Count("3002");
    doc.commands = {"3001", "READ,1," + std::string(c.target), "3002"};
    EXPECT_EQ(c.status, DoSendFile(link, *real, doc, ctx, events).status);
    EXPECT_EQ(c.status == kDocumentDone ? 1 : 0, Count("3002") - sent);
  }
  EXPECT_EQ("token", testing_support::ReadFileBytes(program.File("QLTOKEN.TXT")));
  EXPECT_FALSE(testing_support::FileExists(program.File("QLPOSURL.TXT")));
  EXPECT_EQ(0u, testing_support::ReadFileBytes(dir.File("sub/totali.txt")).rfind("DataCode|", 0));
}
#endif

// The closing the converter marked is told before its frame goes out, with
// the counter the printer told last; the result says whether it was
// answered, whether a line went into the receipt, and the counter now.
TEST_F(TransmissionTest, TheClosingIsToldBeforeItGoesAndItsAnswerReturned) {
  const struct {
    const char* name;
    std::string closingAnswer;
    std::string firstAnswer;
    bool answered, printed;
    int16_t status;
  } cases[] = {
      {"answered", "301100", "300100", true, true, kDocumentDone},
      {"lost", "", "300100", false, true, kDocumentNoAnswer},
      {"nothing printed", "301100", "ERR20", false, false, kDocumentPrinterNotReady},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port.device_present = true;
    events.closings.clear();
    const size_t before = port.frames().size();
    ctx.receiptCounter = 41;
    shared.closings = {2};
    queued["3001"] = {c.firstAnswer};
    queued["3011"] = {c.closingAnswer, c.closingAnswer, c.closingAnswer, c.closingAnswer, c.closingAnswer,
                      c.closingAnswer, c.closingAnswer};
    // The header after the closing reads the counter anew.
    queued["1001"] = {"10010712261015"};
    queued["1004"] = {"10040042" + std::string(90, '0')};
    EXPECT_EQ(c.status, Send("3001\r\n7007TEXT\r\n3011\r\n"));
    const bool reached = c.status != kDocumentPrinterNotReady;
    EXPECT_EQ(reached, result.closingSent);
    EXPECT_EQ(c.answered, result.closingAnswered);
    EXPECT_EQ(c.printed, result.printed);
    if (reached) {
      ASSERT_EQ(1u, events.closings.size());
      EXPECT_EQ(41, events.closings[0].first);
      EXPECT_EQ(before + 2, events.closings[0].second);  // 3001 and 7007 only
    }
    EXPECT_EQ(c.status == kDocumentDone ? 42 : reached ? -1 : 41, result.receiptCounter);
    queued.clear();
  }
}

TEST_F(TransmissionTest, JournalWarningsGoOn) {
  queued["3002"] = {"ERR30"};
  EXPECT_EQ(Send("3001\r\n3002\r\n"), 5);
  queued["3003"] = {"ERR31"};
  EXPECT_EQ(Send("3003\r\n"), 6);
  queued["3002"] = {"ERR31"};
  EXPECT_EQ(Send("3002\r\n3001\r\n"), 0);
}

TEST_F(TransmissionTest, ErrorNinetyNineAsksForItsDescription) {
  queued["3002"] = {"ERR99"};
  queued["1015"] = {"1015CARTA INCEPPATA"};
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), 99);
  EXPECT_EQ(Commands().back(), "1015");
  EXPECT_EQ(result.errorDetail.substr(0, 15), "CARTA INCEPPATA");
}

TEST_F(TransmissionTest, ErrorTwentyNineCancelsTheTransaction) {
  queued["3002"] = {"ERR29"};
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), 29);
  EXPECT_EQ(Commands().back(), "3001818Annull.transazione000000000");
}

TEST_F(TransmissionTest, PaperEndWaitsAndSendsTheLineOnceMore) {
  queued["3002"] = {"ERR16"};
  queued["1009"] = {"100901", "100901"};
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), 0);
  // Told once, after the refused line and before the first status request.
  EXPECT_EQ(events.paperEnds, (std::vector<size_t>{2}));
  EXPECT_EQ(Count("1009"), 3);
  EXPECT_EQ(Count("3001"), 1);
  EXPECT_EQ(Count("3002"), 2);
  EXPECT_EQ(Count("3003"), 1);
}

TEST_F(TransmissionTest, PaperEndWaitEndsWhenTheProgramCloses) {
  queued["3002"] = {"ERR16"};
  queued["1009"] = std::vector<std::string>(1000, "100901");
  loop.AddTimer(20000, [this] { link.RaiseTimedOut(); });
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n"), 11);
  EXPECT_EQ(Count("3003"), 0);
}

TEST_F(TransmissionTest, ChangeGivesTheRestoLine) {
  queued["3004"] = {"30040000000250000000000"};
  EXPECT_EQ(Send("3001\r\n3004\r\n"), 0);
  EXPECT_EQ(Commands().back().substr(0, 4), "1001");  // the header follows
  EXPECT_EQ(Count("7007" + PaymentLine("RESTO", "2.50")), 1);

  // An RT printer gives the change with "3007".
  ctx.rtMode = true;
  queued["3004"] = {"30040000000250000000000"};
  Send("3001\r\n3004\r\n");
  EXPECT_EQ(Count("7007" + PaymentLine("RESTO", "2.50")), 1);
}

TEST_F(TransmissionTest, DueFlagsPrintThePaymentSummary) {
  shared.facts.cashDue = true;
  shared.facts.otherDue = true;
  shared.facts.paymentText = "BUONI PASTO";
  queued["1003"] = {"1003" + std::string(37, '0') + "000001250"};
  EXPECT_EQ(Send("3001\r\n3007010000000000000\r\n"), 0);
  EXPECT_EQ(Count("7007" + PaymentLine("CONTANTI", "12.50")), 1);
  EXPECT_EQ(Count("7007" + PaymentLine("BUONI PASTO", "12.50")), 1);
  EXPECT_EQ(Count("7007" + PaymentLine("ASSEGNI", "12.50")), 0);
}

TEST_F(TransmissionTest, DrawerAndEndCommandAfterAPayment) {
  shared.facts.paymentSeen = true;
  EXPECT_EQ(Send("3001\r\n3002\r\n3003\r\n3004\r\n"), 0);
  std::vector<std::string> c = Commands();
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(c[c.size() - 2], "70081");
  EXPECT_EQ(c.back(), "3013");

  options.chbNoInviaApCassetto = true;
  shared.facts.paymentSeen = true;
  queued["3013"] = {"ERR01"};
  Send("3001\r\n3002\r\n3003\r\n3004\r\n");
  c = Commands();
  EXPECT_EQ(c[c.size() - 2], "3013");
  EXPECT_EQ(c.back(), "3013");
  EXPECT_EQ(Count("70081"), 1);
}

TEST_F(TransmissionTest, SubtotalDiscountAndSurcharge) {
  queued["1003"] = {"1003" + std::string(37, '0') + "000001000", "1003" + std::string(37, '0') + "000000950"};
  EXPECT_EQ(Send("3001\r\nDOST%5\r\nMOST%10.5,SERVIZIO, SALA\r\n"), 0);
  EXPECT_EQ(Count("3001317SCONTO SBTL 5.00%000000050"), 1);
  EXPECT_EQ(Count("3001221SERVIZIO. SALA 10.50%000000100"), 1);
}

TEST_F(TransmissionTest, SubtotalWithoutANumberStopsTheDocument) {
  EXPECT_EQ(Send("3001\r\nMOST%ABC\r\n3002\r\n"), 9);
  EXPECT_EQ(Count("1003"), 0);
  EXPECT_EQ(Count("3002"), 0);
}

TEST_F(TransmissionTest, DateAndTimePseudoCommands) {
  queued["2001"] = {"20011", "20011", "20011", "20011", "20011"};
  EXPECT_EQ(Send("SEDT,071226,1015\r\n"), 13);
  EXPECT_EQ(Count("20010712261015"), 5);
  // With two fields the line goes to the printer as it is.
  Send("SEDT,071226\r\n3001\r\n");
  EXPECT_EQ(Count("SEDT,071226"), 1);
  Send("REDT\r\n3001\r\n");
  EXPECT_EQ(Count("REDT"), 0);
}

}  // namespace
}  // namespace ecr
