// OPFS invoices in, print lines out: layout, VAT summary, payments, failures.
#include "adapters/opfs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace adapters {
namespace {

const std::string kBlank = "PRNT,:" + std::string(32, ' ') + ";";
const std::string kColumns = "PRNT,:" + std::string(26, ' ') + "EURO;";

// "label" and "amount" spread over the 30-character print column.
std::string Cols(const std::string& label, const std::string& amount) {
  return label + std::string(30 - label.size() - amount.size(), ' ') + amount;
}

class OpfsTest : public ::testing::Test {
 protected:
  OpfsTest() {
    now_.year = 2026, now_.month = 12, now_.day = 7;
    now_.hour = 9, now_.minute = 5, now_.second = 30;
  }

  // Converts the document lines; the output lines land in out_, each one
  // line of the rewritten document.
  bool Convert(const std::vector<std::string>& doc) {
    bool ok = ConvertFatturaSuScontrino(doc, vat_, now_, &total_, &out_, trace_);
    for (const std::string& line : out_) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    return ok;
  }

  bool Has(const std::string& line) const { return std::find(out_.begin(), out_.end(), line) != out_.end(); }
  // The line printing `label` in the two-column layout with the " ;" end.
  bool HasAmount(const std::string& label, const std::string& amount) const {
    return Has("PRNT,:" + Cols(label, amount) + " ;");
  }

  settings::VatTable vat_;
  settings::DateTime now_;
  std::vector<std::string>* trace_ = nullptr;
  long long total_ = -1;
  std::vector<std::string> out_;
};

TEST_F(OpfsTest, WholeInvoiceWithTwoGroupsAndASubtotalDiscount) {
  ASSERT_TRUE(Convert({
      "OPFS,N0012,:ROSSI MARIO,<VIA ROMA 1,=00100 ROMA,>P.IVA 01234567890;",
      "OPER,C5;",
      "PLUD,:PANE,Q2,P150,I22;",
      "SALE,:LATTE,P100,I4;",
      "COST,V100;",
      "CASH;",
  }));
  // The subtotal discount of 1,00 is spread 3:1 over the groups: C 3,00 -> 2,25
  // and A 1,00 -> 0,75. C: 225 / 1.22 = 184.43 taxable, 40.57 VAT; A: 75 / 1.04
  // = 72.12 taxable, 2.88 VAT.
  std::vector<std::string> expected = {
      "OPFS,N0012,:ROSSI MARIO,<VIA ROMA 1,=00100 ROMA,>P.IVA 01234567890,V0;",
      "PRNT,:FATTURA Num. 12,H1;",
      "PRNT,:07-12-2026   09:05;",
      kColumns,
      kBlank,
      "PRNT,:OPERATORE N. 05",
      "PRNT,:2    X    1,50",
      "PRNT,:" + Cols("PANE", "3,00") + " C;",
      "PRNT,:1    X    1,00",
      "PRNT,:" + Cols("LATTE", "1,00") + " A;",
      "PRNT,:" + Cols("SCONTO SU SUBT.", "1,00") + " ;",
      kBlank,
      "PRNT,:" + Cols("TOT. FATTURA EURO", "3,00") + ",H1;",
      "PRNT,:" + Cols("CONTANTI", "3,00") + " ;",
      kBlank,
      "PRNT,:" + Cols("CORRISP. PAGATO", "3,00") + " ;",
      "PRNT,:" + Cols("CORRISP. NON PAGATO", "0,00") + " ;",
      kBlank,
      "PRNT,:" + Cols("IMPONIBILE A=4,00%", "0,72") + " ;",
      "PRNT,:" + Cols("IVA A=4,00%", "0,03") + " ;",
      "PRNT,:" + Cols("IMPONIBILE C=22,00%", "1,84") + " ;",
      "PRNT,:" + Cols("IVA C=22,00%", "0,41") + " ;",
      kBlank,
      "PRNT,:" + Cols("TOT. IMPONIBILE ", "2,57") + " ;",
      "PRNT,:" + Cols("TOT. IVA ", "0,43") + " ;",
      kBlank,
      "PRNT,: --- Intestazione Cliente ---;",
      "PRNT,:ROSSI MARIO ;",
      "PRNT,:VIA ROMA 1 ;",
      "PRNT,:00100 ROMA ;",
      "PRNT,:P.IVA 01234567890 ;",
      "CLFS;",
  };
  EXPECT_EQ(out_, expected);
  EXPECT_EQ(total_, 300);
}

TEST_F(OpfsTest, StatedTotalKeepsTheLineAndIsTheInvoiceTotal) {
  ASSERT_TRUE(Convert({"OPFS,N7,V5000;", "SALE,:X,P100,I22;", "CASH,V100;"}));
  EXPECT_EQ(out_[0], "OPFS,N7,V5000;");
  EXPECT_TRUE(Has("PRNT,:" + Cols("TOT. FATTURA EURO", "50,00") + ",H1;"));
  EXPECT_EQ(total_, 5000);
}

// A stated total of zero is no total: the invoice gets the running total, as
// it does when the host leaves ",V" out.
TEST_F(OpfsTest, StatedTotalOfZeroGivesTheRunningTotal) {
  for (const char* opfs : {"OPFS,N7,V0;", "OPFS,N7,V000;", "OPFS,N7,V0.00;"}) {
    ASSERT_TRUE(Convert({opfs, "SALE,:X,Q2,P150,I22;", "CASH;"})) << opfs;
    EXPECT_EQ(out_[0], opfs);
    EXPECT_TRUE(Has("PRNT,:" + Cols("TOT. FATTURA EURO", "3,00") + ",H1;")) << opfs;
    EXPECT_TRUE(HasAmount("CONTANTI", "3,00")) << opfs;
    EXPECT_EQ(total_, 300) << opfs;
  }
}

TEST_F(OpfsTest, OpfsLineWithoutSemicolonOrNumberStaysAsItIs) {
  ASSERT_TRUE(Convert({"OPFS,NXY", "SALE,:X,P100,I22;"}));
  EXPECT_EQ(out_[0], "OPFS,NXY");
  EXPECT_EQ(out_[1], "PRNT,:FATTURA Num. 1,H1;");
  EXPECT_EQ(total_, 100);
}

TEST_F(OpfsTest, AmountsRoundHalfToEven) {
  struct Case {
    const char* quantity;
    const char* price;
    const char* shown;
    const char* amount;
  } cases[] = {
      {"1.500", "199", "1,500    X    1,99", "2,98"},  // 298.5 -> 298
      {"2.500", "3", "2,500    X    0,03", "0,08"},    // 7.5 -> 8
      {"0.005", "100", "0,005    X    1,00", "0,00"},  // 0.5 -> 0
      {"3", "5", "3    X    0,05", "0,15"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Convert({"OPFS;", std::string("SALE,:X,Q") + c.quantity + ",P" + c.price + ",I22;"}));
    EXPECT_TRUE(Has(std::string("PRNT,:") + c.shown)) << c.quantity;
    EXPECT_TRUE(Has("PRNT,:" + Cols("X", c.amount) + " C;")) << c.quantity;
  }
}

TEST_F(OpfsTest, LongDescriptionIsCutToLeaveRoomForTheAmount) {
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:ABCDEFGHIJKLMNOPQRSTUVWXYZ1234,Q1000,P100000,I22;"}));
  EXPECT_TRUE(Has("PRNT,:ABCDEFGHIJKLMNOPQRST1000000,00 C;"));
}

TEST_F(OpfsTest, SpreadRoundsTwiceHalfToEven) {
  // Item total 200, surcharge 6,99: A gets 699 * 1 / 200 = 3.495 -> 3.50 -> 4,
  // C gets 699 * 199 / 200 = 695.505 -> 695.50 -> 696.
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:A,P1,I4;", "SALE,:C,P199,I22;", "ADDS,V699;"}));
  EXPECT_TRUE(HasAmount("MAGG. SU SUBT.", "6,99"));
  EXPECT_TRUE(HasAmount("IMPONIBILE A=4,00%", "0,05"));   // 5 / 1.04 = 4.81
  EXPECT_TRUE(HasAmount("IVA A=4,00%", "0,00"));          // 0.19
  EXPECT_TRUE(HasAmount("IMPONIBILE C=22,00%", "7,34"));  // 895 / 1.22 = 733.61
  EXPECT_TRUE(HasAmount("IVA C=22,00%", "1,61"));         // 161.39
  EXPECT_TRUE(HasAmount("TOT. IMPONIBILE ", "7,38"));     // 738.41
  EXPECT_TRUE(HasAmount("TOT. IVA ", "1,62"));            // 161.58
  EXPECT_EQ(total_, 899);
}

TEST_F(OpfsTest, ZeroRateGroupIsExemptAndOutsideTheTaxableTotal) {
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:LIBRO,P1000,I0;", "SALE,:X,P122,I22;"}));
  EXPECT_TRUE(Has("PRNT,:" + Cols("LIBRO", "10,00") + " E;"));
  EXPECT_TRUE(HasAmount("ESENTE E=0,00%", "10,00"));
  EXPECT_FALSE(HasAmount("IVA E=0,00%", "0,00"));
  EXPECT_TRUE(HasAmount("TOT. IMPONIBILE ", "1,00"));
  EXPECT_TRUE(HasAmount("TOT. IVA ", "0,22"));
}

TEST_F(OpfsTest, ARateTwiceInTheTableIsSummedOnce) {
  vat_.slot[3] = 2200;
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P122,I22;"}));
  EXPECT_EQ(std::count(out_.begin(), out_.end(), "PRNT,:" + Cols("IMPONIBILE C=22,00%", "1,00") + " ;"), 1);
  EXPECT_TRUE(HasAmount("TOT. IMPONIBILE ", "1,00"));
  EXPECT_TRUE(HasAmount("TOT. IVA ", "0,22"));
}

TEST_F(OpfsTest, ItemAdjustmentsActOnTheLastItemsGroup) {
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:A,P1040,I4;", "SALE,:C,P1220,I22;", "COUP,:PROMO,V122;",
                       "ADDI,V244;"}));
  EXPECT_TRUE(HasAmount("PROMO", "1,22"));
  EXPECT_TRUE(HasAmount("MAGG. SU ITEM", "2,44"));
  EXPECT_TRUE(HasAmount("IMPONIBILE A=4,00%", "10,00"));
  EXPECT_TRUE(HasAmount("IMPONIBILE C=22,00%", "11,00"));  // 1342 / 1.22
  EXPECT_EQ(total_, 1040 + 1220 - 122 + 244);
}

TEST_F(OpfsTest, AdjustmentBeforeAnyItemOrWithoutAmountIsDropped) {
  ASSERT_TRUE(Convert({"OPFS;", "COUP,V100;", "ADDS,V50;", "SALE,:X,P500,I22;", "COST,:NIENTE;"}));
  EXPECT_FALSE(HasAmount("SCONTO SU ITEM", "1,00"));
  EXPECT_FALSE(HasAmount("MAGG. SU SUBT.", "0,50"));
  EXPECT_EQ(std::count_if(out_.begin(), out_.end(),
                          [](const std::string& l) { return l.find("NIENTE") != std::string::npos; }),
            0);
  EXPECT_EQ(total_, 500);
}

TEST_F(OpfsTest, CreditOnlyPaymentsLeaveNothingPaid) {
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P1000,I22;", "CRED,V300;", "TICK,:BUONI;"}));
  EXPECT_TRUE(Has("PRNT,:" + Cols("TOTALE FATTURA EURO", "10,00") + ",H1;"));
  EXPECT_TRUE(HasAmount("CREDITO", "3,00"));
  EXPECT_TRUE(HasAmount("BUONI", "10,00"));  // no amount: running total minus paid
  EXPECT_TRUE(HasAmount("CORRISP. PAGATO", "0,00"));
  EXPECT_TRUE(HasAmount("CORRISP. NON PAGATO", "10,00"));
}

TEST_F(OpfsTest, SecondPaymentWithoutAmountPaysNothing) {
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P1000,I22;", "CASH;", "CHEQ;"}));
  EXPECT_TRUE(HasAmount("CONTANTI", "10,00"));
  EXPECT_TRUE(HasAmount("ASSEGNI", "0,00"));
  EXPECT_EQ(std::count(out_.begin(), out_.end(), "PRNT,:" + Cols("TOT. FATTURA EURO", "10,00") + ",H1;"), 1);
  EXPECT_TRUE(HasAmount("CORRISP. PAGATO", "10,00"));
}

TEST_F(OpfsTest, TenderKinds) {
  struct Case {
    const char* line;
    const char* label;
    const char* totalLabel;
    bool paid;
  } cases[] = {
      {"TEND,N1,V100;", "CONTANTI", "TOT. FATTURA EURO", true},
      {"TEND,N2,V100;", "ASSEGNI", "TOTALE FATTURA EURO", true},
      {"TEND,N3,V100;", "CARTA CRED.", "TOTALE FATTURA EURO", true},
      {"CARD,V100;", "CARTA CRED.", "TOTALE FATTURA EURO", true},
      {"TEND,N4,V100;", "BANCOMAT", "TOTALE FATTURA EURO", true},
      {"TICK,V100;", "TICKET", "TOTALE FATTURA EURO", false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P100,I22;", c.line}));
    EXPECT_TRUE(Has("PRNT,:" + Cols(c.totalLabel, "1,00") + ",H1;")) << c.line;
    EXPECT_TRUE(HasAmount(c.label, "1,00")) << c.line;
    EXPECT_TRUE(HasAmount("CORRISP. PAGATO", c.paid ? "1,00" : "0,00")) << c.line;
  }
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P100,I22;", "TEND,N5,V100;", "BANC,V100;", "TEND,N10,V100;"}));
  // Neither is an invoice payment: no total line, nothing paid.
  EXPECT_EQ(std::count_if(out_.begin(), out_.end(),
                          [](const std::string& l) { return l.find(",H1;") != std::string::npos; }),
            1);  // only the invoice number
  EXPECT_TRUE(HasAmount("CORRISP. PAGATO", "0,00"));
}

TEST_F(OpfsTest, PrintLinesAfterTheFirstPaymentAreDropped) {
  ASSERT_TRUE(Convert({"OPFS;", "PRNT,:PRIMA;", "SALE,:X,P100,I22;", "CASH;", "PRNT,:DOPO;"}));
  EXPECT_TRUE(Has("PRNT,:PRIMA;"));
  EXPECT_FALSE(Has("PRNT,:DOPO;"));
}

TEST_F(OpfsTest, TrailerLinesBecomeCustomerLines) {
  ASSERT_TRUE(Convert({"OPFS,:BIANCHI;", "EXTL,:CODICE 42;", "EXTL,;"}));
  size_t heading = size_t(std::find(out_.begin(), out_.end(), "PRNT,: --- Intestazione Cliente ---;") - out_.begin());
  ASSERT_EQ(out_.size(), heading + 8);
  EXPECT_EQ(out_[heading + 1], "PRNT,:BIANCHI ;");
  EXPECT_EQ(out_[heading + 2], "PRNT,: ;");
  EXPECT_EQ(out_[heading + 5], "PRNT,:CODICE 42" + std::string(21, ' ') + " ;");
  EXPECT_EQ(out_[heading + 6], "PRNT,:" + std::string(30, ' ') + " ;");
  EXPECT_EQ(out_.back(), "CLFS;");
}

TEST_F(OpfsTest, DateAndOperatorLines) {
  ASSERT_TRUE(Convert({"OPFS;", "DATE,:DATA DDT 01-12-2026;", "OPER,C123;", "SALE,:X,P100,I22;"}));
  std::vector<std::string> head(out_.begin() + 2, out_.begin() + 6);
  EXPECT_EQ(head, (std::vector<std::string>{"PRNT,:DATA DDT 01-12-2026", kColumns, kBlank, "PRNT,:OPERATORE N. 12"}));
  EXPECT_FALSE(Has("PRNT,:07-12-2026   09:05;"));
}

TEST_F(OpfsTest, UnknownVatRateFailsKeepingTheLinesSoFar) {
  EXPECT_FALSE(Convert({"OPFS;", "SALE,:X,P100,I22;", "SALE,:Y,P100,I7;", "CASH;"}));
  EXPECT_EQ(out_.back(), "PRNT,:1    X    1,00");
  EXPECT_TRUE(Has("PRNT,:" + Cols("X", "1,00") + " C;"));
  EXPECT_EQ(total_, -1);
}

TEST_F(OpfsTest, TheOutputIsReplacedWhole) {
  out_ = {"CASH;", "CASH;"};
  ASSERT_TRUE(Convert({"OPFS;"}));
  EXPECT_EQ(out_.front(), "OPFS,V0;");
  EXPECT_EQ(std::count(out_.begin(), out_.end(), "CASH;"), 0);
}

TEST_F(OpfsTest, BadNumbersAreTracedAndTakeTheirDefault) {
  std::vector<std::string> traced;
  trace_ = &traced;
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P100,I2.2.2;"}));
  EXPECT_TRUE(Has("PRNT,:" + Cols("X", "1,00") + " E;"));  // rate 0
  ASSERT_EQ(traced.size(), 1u);
  EXPECT_EQ(traced[0], " --> ConvertFatturaSuScontrino: 13 - Type mismatch");

  trace_ = nullptr;
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P100,I2.2.2;"}));
  EXPECT_EQ(traced.size(), 1u);
}

TEST_F(OpfsTest, RatesFindTheFirstSlotWithTheSameRate) {
  struct Case {
    const char* rate;
    char letter;
  } cases[] = {{"4", 'A'}, {"10.00", 'B'}, {"22", 'C'}, {"36", 'D'}, {"0", 'E'}, {"10.004", 'B'}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Convert({"OPFS;", std::string("SALE,:X,P100,I") + c.rate + ";"})) << c.rate;
    EXPECT_TRUE(Has("PRNT,:" + Cols("X", "1,00") + " " + c.letter + ";")) << c.rate;
  }
  ASSERT_TRUE(Convert({"OPFS;", "SALE,:X,P100;"}));  // no rate: 0
  EXPECT_TRUE(Has("PRNT,:" + Cols("X", "1,00") + " E;"));
  vat_.slot[4] = 500;
  EXPECT_FALSE(Convert({"OPFS;", "SALE,:X,P100;"}));
}

TEST_F(OpfsTest, MalformedLinesNeverStopTheConversion) {
  std::vector<std::string> traced;
  trace_ = &traced;
  ASSERT_TRUE(Convert({"OPFS,N,V,:,<,=,>", "", ";", ",,,", "SALE", "PLUD,:;", "SALE,:BIG,P99999999999999999999,I22;",
                       "SALE,:BIG,Q9999999999.999,P9999999999,I22;", "COUP,V", "CASH,V-5;", "OPER,C;", "DATE,:;",
                       std::string("\xFF\x01\x7F,:,V\0", 8), "SALE,:OK,P100,I22;", "CRED;"}));
  EXPECT_EQ(out_[1], "PRNT,:FATTURA Num. 1,H1;");
  EXPECT_TRUE(Has("PRNT,:" + Cols("OK", "1,00") + " C;"));
  EXPECT_EQ(out_.back(), "CLFS;");
  EXPECT_FALSE(traced.empty());
}

// Sixteen whole digits fit the integer check but not once scaled to
// thousandths: an oversized number, not a wrapped one (the fuzzer's find).
TEST_F(OpfsTest, WholeNumbersTooBigOnceScaledAreOversized) {
  ASSERT_TRUE(Convert({"OPFS,N9999999999999999;", "SALE,:X,Q9999999999999999,P100,I22;"}));
  EXPECT_EQ(out_[1], "PRNT,:FATTURA Num. 1,H1;");
  EXPECT_TRUE(Has("PRNT,:" + Cols("X", "1,00") + " C;"));
}

TEST_F(OpfsTest, LinesAreNormalisedExceptTheOpfsLine) {
  ASSERT_TRUE(Convert({"opfs,n5,:Citt\xE0;", "sale,:caff\xE8 totale,q2,p0150,i22;", "prnt,:grazie;"}));
  EXPECT_EQ(out_[0], "opfs,n5,:Citt\xE0,V0;");
  EXPECT_EQ(out_[1], "PRNT,:FATTURA Num. 5,H1;");
  EXPECT_TRUE(Has("PRNT,:2    X    1,50"));
  EXPECT_TRUE(Has("PRNT,:" + Cols("CAFFE TOT.", "3,00") + " C;"));
  EXPECT_TRUE(Has("PRNT,:GRAZIE;"));
}

}  // namespace
}  // namespace adapters
