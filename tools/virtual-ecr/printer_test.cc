// Tests of the virtual printer's commands, fiscal totals and paper.
#include "printer.h"

#include <gtest/gtest.h>

#include <regex>

#include "frame.h"
#include "testing/temp_dir.h"

namespace vecr {
namespace {

constexpr std::time_t kNow = 1765000000;  // a fixed real clock

std::string Item(char kind, const std::string& text, long cents, const std::string& dep = "01") {
  char amount[16];
  std::snprintf(amount, sizeof amount, "%09ld", cents);
  std::string t = text;
  t.resize(22, ' ');
  return std::string("3101") + kind + dep + "22" + t + amount;
}

std::string Pay(const std::string& code, const std::string& name, long cents) {
  char amount[16];
  std::snprintf(amount, sizeof amount, "%09ld", cents);
  char nn[4];
  std::snprintf(nn, sizeof nn, "%02zu", name.size());
  return code + nn + name + amount;
}

// What the program keeps of an answer: everything after STX, sequence and
// terminal digit, so positions below are 1-based in that text.
std::string Body(const std::string& answer) { return BuildFrame("00", answer).substr(4); }

long Field(const std::string& body, size_t pos, size_t len) { return std::stol(body.substr(pos - 1, len)); }

class PrinterTest : public ::testing::Test {
 protected:
  PrinterTest() : printer_(PrinterConfig{}, [] { return kNow; }) {}
  std::string Run(const std::string& c) { return printer_.Execute(c); }
  Printer printer_;
};

TEST_F(PrinterTest, ReceiptTotalChangeAndAmount) {
  EXPECT_EQ(Run(Item('1', "REPARTO 1", 1250)), "3101");
  EXPECT_EQ(Run(Item('1', "REPARTO 2", 300)), "3101");
  EXPECT_EQ(Run(Item('3', "SCONTO", 50)), "3101");
  EXPECT_EQ(Field(Body(Run("1003")), 42, 9), 1500);
  std::string paid = Body(Run(Pay("3004", "CONTANTI", 2000)));
  EXPECT_EQ(paid.substr(0, 4), "3004");
  EXPECT_EQ(Field(paid, 6, 9), 500);  // change
  EXPECT_EQ(Run("3011"), "3011");
  EXPECT_EQ(Run("3013"), "3013");
  std::string totals = Body(Run("1004"));
  EXPECT_EQ(Field(totals, 5, 4), 1);
  EXPECT_EQ(Field(totals, 9, 9), 1500);
  EXPECT_EQ(Field(totals, 57, 9), 50);  // discounts
  // After the closing "1003" gives the total of the receipt just closed.
  EXPECT_EQ(Field(Body(Run("1003")), 42, 9), 1500);
}

TEST_F(PrinterTest, TextLineLongerThanItsLengthIsPrintedWhole) {
  EXPECT_EQ(Run("3002106 STORNO"), "3002");
  EXPECT_EQ(Run("30021"), "ERR02");
}

TEST_F(PrinterTest, PaymentWithoutAmountPaysWhatIsDue) {
  Run(Item('1', "PANE", 420));
  std::string a = Body(Run("3007010008CONTANTI000000000"));
  EXPECT_EQ(a.substr(0, 4), "3007");
  EXPECT_EQ(a[4], '0');
  EXPECT_EQ(Field(a, 6, 9), 0);
  Run("3011");
  EXPECT_EQ(printer_.state().cash, 420);
}

TEST_F(PrinterTest, PartialPaymentsLeaveAmountDue) {
  Run(Item('1', "PANE", 1000));
  std::string a = Body(Run(Pay("3004", "ASSEGNI", 400)));
  EXPECT_EQ(a[4], '1');
  EXPECT_EQ(Field(a, 15, 9), 600);
  a = Body(Run(Pay("3004", "CONTANTI", 1000)));
  EXPECT_EQ(Field(a, 6, 9), 400);
  // No more items once payment began: the receipt is still open.
  EXPECT_EQ(Run(Item('1', "LATTE", 100)), "ERR21");
  Run("3011");
  EXPECT_EQ(printer_.state().cheques, 400);
  EXPECT_EQ(printer_.state().cash, 600);
}

TEST_F(PrinterTest, ItemKindsMoveTheTotal) {
  struct Case {
    char kind;
    long total;  // receipt total after 1000 sold and this 200
  } cases[] = {{'1', 1200}, {'2', 1200}, {'3', 800}, {'4', 800}, {'F', 800}, {'G', 800}, {'9', 800}};
  for (const Case& c : cases) {
    Printer p(PrinterConfig{}, [] { return kNow; });
    p.Execute(Item('1', "A", 1000));
    EXPECT_EQ(p.Execute(Item(c.kind, "B", 200)), "3101") << c.kind;
    EXPECT_EQ(Field(Body(p.Execute("1003")), 42, 9), c.total) << c.kind;
    p.Execute("1010");
    std::string t = Body(p.Execute("1004"));
    EXPECT_EQ(Field(t, 9, 9), c.total) << c.kind;
    long expected_surcharges = c.kind == '2' ? 200 : 0;
    long expected_discounts = c.kind == '3' ? 200 : 0;
    long expected_voids = (c.kind == '4' || c.kind == 'F' || c.kind == 'G') ? 200 : 0;
    long expected_returns = c.kind == '9' ? 200 : 0;
    EXPECT_EQ(Field(t, 48, 9), expected_surcharges) << c.kind;
    EXPECT_EQ(Field(t, 57, 9), expected_discounts) << c.kind;
    EXPECT_EQ(Field(t, 66, 9), expected_voids) << c.kind;
    EXPECT_EQ(Field(t, 75, 9), expected_returns) << c.kind;
  }
}

TEST_F(PrinterTest, NegativeTotalIsRefused) {
  EXPECT_EQ(Run(Item('9', "RESO", 100)), "ERR23");
  Run(Item('1', "A", 100));
  EXPECT_EQ(Run("3001306SCONTO000000200"), "ERR23");
  EXPECT_EQ(Run("3001306SCONTO000000040"), "3001");
  EXPECT_EQ(Field(Body(Run("1003")), 42, 9), 60);
}

TEST_F(PrinterTest, ItemWithoutDepartmentAndBareAdjustment) {
  EXPECT_EQ(Run("3101122PANE                  000000100"), "3101");
  EXPECT_EQ(Run("3101301"), "3101");  // discount with no text and no amount
  EXPECT_EQ(Field(Body(Run("1003")), 42, 9), 100);
  EXPECT_EQ(Run("31011"), "ERR02");
}

TEST_F(PrinterTest, ZReportCountsClosingAndResetsTheDay) {
  Run(Item('1', "A", 1000));
  Run("1010");
  Run(Item('1', "B", 500));
  Run("300408CONTANTI000000000");
  Run("3011");
  Run("3013");
  EXPECT_EQ(Field(Body(Run("1004")), 5, 4), 2);
  EXPECT_EQ(Run("2003"), "2003");  // a reading changes nothing
  EXPECT_EQ(Field(Body(Run("1004")), 9, 9), 1500);
  EXPECT_EQ(Run("2002"), "2002");
  std::string t = Body(Run("1004"));
  EXPECT_GE(t.size(), 92u);
  EXPECT_EQ(Field(t, 5, 4), 0);
  EXPECT_EQ(Field(t, 9, 9), 0);
  EXPECT_EQ(Field(Body(Run("1104")), 5, 4), 1);
  EXPECT_EQ(Field(Body(Run("1105")), 5, 10), 1500);  // the grand total stays
  Run(Item('1', "C", 100));
  Run("1010");
  EXPECT_EQ(Field(Body(Run("1004")), 5, 4), 1);
  EXPECT_EQ(Field(Body(Run("1105")), 5, 10), 1600);
}

// A receipt left open (the program went away in the middle of it) answers
// "receipt open" to everything that cannot join it, and takes further sale
// lines, also after its state was saved and loaded again.
TEST_F(PrinterTest, AnOpenReceiptRefusesOtherDocumentsAndTakesMoreItems) {
  Run(Item('1', "A", 100));
  Printer reloaded(PrinterConfig{}, [] { return std::time_t(1700000000); });
  ASSERT_TRUE(ParseState(SerializeState(printer_.state()), reloaded.state()));
  for (const char* command : {"2002", "2003", "40011", "4002", "400310RIGA LIBERA", "4004", "4007",
                              "7106D000001000", "7101A0001000120240101", "20010101241200"})
    EXPECT_EQ(reloaded.Execute(command), "ERR21") << command;
  EXPECT_EQ(reloaded.Execute(Item('1', "B", 250)), "3101");
  EXPECT_EQ(Field(Body(reloaded.Execute("1003")), 42, 9), 350);
  EXPECT_EQ(Body(reloaded.Execute("1003"))[8], '1');
  reloaded.Execute("3011");
  EXPECT_EQ(reloaded.state().receipt_number, 1);
  EXPECT_EQ(reloaded.state().grand_total, 350);
}

// A receipt rung up on the keys is not the line's to add to, pay, close or
// cancel, also after a restart; once the keys close it the line prints again.
TEST_F(PrinterTest, AReceiptOfTheKeysRefusesTheLinesPrinting) {
  EXPECT_EQ(printer_.ExecuteFromKeys(Item('1', "TASTI", 500)), "3101");
  Printer reloaded(PrinterConfig{}, [] { return kNow; });
  ASSERT_TRUE(ParseState(SerializeState(printer_.state()), reloaded.state()));
  for (const std::string& command : {Item('1', "B", 250), Pay("3004", "CONTANTI", 500), std::string("3011"),
                                     std::string("31018"), std::string("3013")})
    EXPECT_EQ(reloaded.Execute(command), "ERR21") << command;
  EXPECT_EQ(reloaded.Execute("7007" + std::string(40, ' ')), "7007");
  EXPECT_EQ(Body(reloaded.Execute("1003"))[8], '1');
  EXPECT_EQ(reloaded.ExecuteFromKeys("3011"), "3011");
  EXPECT_EQ(reloaded.ExecuteFromKeys("3013"), "3013");
  EXPECT_EQ(reloaded.Execute(Item('1', "B", 250)), "3101");
  EXPECT_EQ(reloaded.Execute("3011"), "3011");
  EXPECT_EQ(reloaded.state().receipt_number, 2);
  EXPECT_EQ(reloaded.state().grand_total, 750);
}

TEST_F(PrinterTest, RegisterAnswersSitWhereTheProgramReadsThem) {
  std::string serial = Body(Run("1008"));
  EXPECT_EQ(serial.substr(6, 8), "EY012345");
  std::string id = Body(Run("1511")).substr(4);
  EXPECT_EQ(id.substr(1, 11), "99MEY012345");
  EXPECT_EQ(id[25], '1');  // RT
  EXPECT_EQ(Body(Run("1214"))[4], '2');
  EXPECT_GE(Body(Run("1104")).size(), 12u);
  EXPECT_GE(Body(Run("1105")).size(), 14u);
  EXPECT_GE(Body(Run("1001")).size(), 14u);
  std::string status = Body(Run("1009"));
  EXPECT_EQ(status.substr(0, 6), "100900");
  for (const char* c : {"1001", "1003", "1004", "1104", "1105", "1511", "1013"}) {
    EXPECT_EQ(Run(c).find(':'), std::string::npos) << c;
  }
}

TEST_F(PrinterTest, FirmwareReleaseMatchesTheProgramsPattern) {
  std::regex re(R"(^[^\s]*\s+(\d{2}\.\d{2}\.\d{2})\s+.*$|^.*Rel\.\s+(.*)\s+$)");
  std::string body = Body(Run("1013"));
  std::smatch m;
  ASSERT_TRUE(std::regex_match(body, m, re)) << body;
  EXPECT_EQ(m[1].str(), "05.01.02");
}

TEST(PrinterMf, RefusesIdentificationAndGivesEightCharacterSerial) {
  PrinterConfig config;
  config.mf = true;
  config.serial = "CU123456";
  Printer p(config, [] { return kNow; });
  EXPECT_EQ(p.Execute("1511").substr(0, 3), "ERR");
  EXPECT_EQ(Body(p.Execute("1008")).substr(6, 8), "CU123456");
}

TEST_F(PrinterTest, DateIsSetAsAnOffsetAndReadBack) {
  EXPECT_EQ(Run("20010102271530"), "20010");
  EXPECT_EQ(Body(Run("1001")).substr(4, 10), "0102271530");
  EXPECT_EQ(Run("20013202271530"), "20011");  // 32nd day
  printer_.set_refuse_date(true);
  EXPECT_EQ(Run("20010102271530"), "ERR54");
}

TEST_F(PrinterTest, PaperEndsAfterGivenLinesAndComesBack) {
  printer_.PaperOutAfter(7);  // the receipt head takes five lines
  EXPECT_EQ(Run(Item('1', "A", 100)), "3101");
  EXPECT_EQ(Run(Item('1', "B", 100)), "3101");
  EXPECT_EQ(printer_.TakePaper().size(), 7u);
  EXPECT_EQ(Run("1009"), "100901");
  EXPECT_EQ(Run(Item('1', "C", 100)), "ERR16");
  EXPECT_EQ(Field(Body(Run("1003")), 42, 9), 200);  // not run
  printer_.PaperIn();
  EXPECT_EQ(Run("1009"), "100900");
  EXPECT_EQ(Run(Item('1', "C", 100)), "3101");
}

TEST_F(PrinterTest, ForcedStatusRefusesPrinting) {
  struct Case {
    std::string status, err;
  } cases[] = {{"01", "ERR16"}, {"10", "ERR37"}, {"11", "ERR37"}, {"12", "ERR37"}, {"54", "ERR54"}, {"99", "ERR99"}};
  for (const Case& c : cases) {
    Printer p(PrinterConfig{}, [] { return kNow; });
    p.SetStatus(c.status);
    EXPECT_EQ(p.Execute("1009"), "1009" + c.status);
    EXPECT_EQ(p.Execute(Item('1', "A", 100)), c.err) << c.status;
    EXPECT_EQ(p.Execute("1004").substr(0, 4), "1004") << c.status;
  }
  // The closing clears "closing required".
  printer_.SetStatus("54");
  EXPECT_EQ(Run("2002"), "2002");
  EXPECT_EQ(Run("1009"), "100900");
}

TEST_F(PrinterTest, PaperShowsReceiptOnceWithChangeAndFooter) {
  Run(Item('1', "PANE", 250));
  Run(Pay("3004", "CONTANTI", 500));
  Run("3011");
  Run("3012111ARRIVEDERCI");
  Run("3013");
  std::vector<std::string> paper = printer_.TakePaper();
  auto has = [&](const std::string& s) {
    int n = 0;
    for (const auto& l : paper) n += l.find(s) != std::string::npos;
    return n;
  };
  EXPECT_EQ(has("PANE"), 1);
  EXPECT_EQ(has("TOTALE COMPLESSIVO"), 1);
  EXPECT_EQ(has("RESTO"), 1);
  EXPECT_EQ(has("2,50"), 3);  // item, total, change
  EXPECT_EQ(has("ARRIVEDERCI"), 1);
  EXPECT_EQ(has("DOC.N. 0001-0001"), 1);
  EXPECT_TRUE(printer_.TakePaper().empty());
}

TEST_F(PrinterTest, FooterFollowsTheEndOfTheJob) {
  Run(Item('1', "PANE", 250));
  Run("1010");
  auto footers = [&] {
    int n = 0;
    for (const auto& l : printer_.TakePaper()) n += l.find("DOC.N. 0001-0001") != std::string::npos;
    return n;
  };
  EXPECT_EQ(footers(), 0);  // trailer and customer lines may still come
  Run("1109");
  EXPECT_EQ(footers(), 1);
  Run("1109");
  Run("3013");
  EXPECT_EQ(footers(), 0);
}

TEST_F(PrinterTest, CancellationVoidsTheReceipt) {
  Run(Item('1', "A", 700));
  EXPECT_EQ(Run("3001818Annull.transazione000000000"), "3001");
  EXPECT_EQ(Run(Item('1', "B", 100)), "3101");  // a new receipt
  Run("1010");
  std::string t = Body(Run("1004"));
  EXPECT_EQ(Field(t, 5, 4), 2);
  EXPECT_EQ(Field(t, 9, 9), 100);
  EXPECT_EQ(Field(t, 66, 9), 700);
}

TEST_F(PrinterTest, InvoiceAndNonFiscalDocuments) {
  EXPECT_EQ(Run("400121000012345"), "4001");
  EXPECT_EQ(Run("4002"), "4002");
  EXPECT_EQ(Run("4003106GRAZIE"), "4003");
  EXPECT_EQ(Run(Item('1', "A", 100)), "ERR98");
  EXPECT_EQ(Run("4003F19TOTALE FATTURE EURO000012345"), "4003");
  EXPECT_EQ(Run("4006"), "4006");
  std::string t = Body(Run("1004"));
  EXPECT_EQ(Field(t, 18, 4), 1);
  EXPECT_EQ(Field(t, 22, 9), 12345);
  EXPECT_EQ(Run("40011"), "4001");
  EXPECT_EQ(Run("4003120* ACQUISTO CON POS *"), "4003");
  EXPECT_EQ(Run("4004"), "4004");
  std::vector<std::string> paper = printer_.TakePaper();
  EXPECT_NE(std::find(paper.begin(), paper.end(), "* ACQUISTO CON POS *"), paper.end());
  EXPECT_NE(std::find(paper.begin(), paper.end(), "GRAZIE"), paper.end());
}

TEST(FiscalStateFile, SavedStateLoadsBack) {
  testing_support::ScopedTempDir dir;
  Printer p(PrinterConfig{}, [] { return kNow; });
  p.Execute(Item('1', "A", 1000, "07"));
  p.Execute("1010");
  p.Execute("2002");
  p.Execute(Item('1', "B", 300, "07"));
  std::string path = dir.File("state");
  ASSERT_EQ(SaveState(path, p.state()), "");
  Printer q(PrinterConfig{}, [] { return kNow; });
  ASSERT_EQ(LoadState(path, q.state()), "");
  EXPECT_EQ(SerializeState(q.state()), SerializeState(p.state()));
  EXPECT_EQ(Field(Body(q.Execute("1003")), 42, 9), 300);
  // An open receipt books its departments when it closes; a cancelled one never.
  EXPECT_EQ(q.state().departments[7], 0);
  EXPECT_EQ(q.state().doc.departments[7], 300);
  q.Execute("3001818Annull.transazione000000000");
  q.Execute("3011");
  EXPECT_EQ(q.state().departments[7], 0);
  q.Execute(Item('1', "C", 200, "07"));
  q.Execute("1010");
  EXPECT_EQ(q.state().departments[7], 200);
  EXPECT_EQ(q.Execute("1104").substr(4, 4), "0001");
  testing_support::WriteFileBytes(path, "closings=x\n");
  EXPECT_NE(LoadState(path, q.state()), "");
}

}  // namespace
}  // namespace vecr
