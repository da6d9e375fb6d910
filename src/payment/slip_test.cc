// Tests of the payment slip: the commands sent for refused and approved
// payments, the line lengths and the amount field.
#include "payment/slip.h"

#include <gtest/gtest.h>

namespace payment {
namespace {

class SlipTest : public ::testing::Test {
 protected:
  SendCommand Recorder() {
    return [this](const std::string& c) -> int16_t {
      sent_.push_back(c);
      return -4;  // the slip must go on whatever the printer says
    };
  }
  std::vector<std::string> sent_;
};

POSData Approved(const std::string& cardType) {
  POSData d;
  d.commandWord = "PAGA";
  d.amount = "1250";
  d.TransactionResult = "00";
  d.resultDescription = "00";
  d.TerminalId = "T0001";
  d.AcquirerId = "ACQ9";
  d.TransactionType = "SALE";
  d.KODescription = "OK";
  d.CardType = cardType;
  d.STAN = "000123";
  d.PAN = "****1234";
  d.AuthorizationCode = "AB12";
  d.OperationNumber = "0042";
  d.DataTrs = "03/05/2024";
  return d;
}

TEST(SlipLineTest, LengthInPlainDigits) {
  EXPECT_EQ("40031" "20" "* ACQUISTO CON POS *", SlipLine("* ACQUISTO CON POS *"));
  EXPECT_EQ("40031" "9" "STAN : 12", SlipLine("STAN : 12"));
  EXPECT_EQ("40031" "0", SlipLine(""));
  EXPECT_EQ("40031" "100" + std::string(100, 'x'), SlipLine(std::string(100, 'x')));
}

TEST(SlipAmountTest, FifteenCharactersRightAligned) {
  struct Case {
    const char* cents;
    const char* field;
  } cases[] = {
      {"1250", "          12.50"}, {"5", "           0.05"},  {"100", "           1.00"},
      {"", "           0.00"},     {"-1250", "         -12.50"}, {"123456789", "     1234567.89"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.field, SlipAmount(c.cents)) << c.cents;
}

TEST_F(SlipTest, NothingWithoutAPayment) {
  EXPECT_EQ(0, StampaEsitoPOS(POSData(), Recorder()));
  EXPECT_TRUE(sent_.empty());
}

TEST_F(SlipTest, RefusedPaymentPrintsTheReason) {
  POSData d;
  d.commandWord = "PAGA";
  d.amount = "500";
  d.TransactionResult = "05";
  d.resultDescription = "05";
  d.KODescription = "CARTA SCADUTA";
  d.TerminalId = "T0001";
  d.PAN = "****9";
  EXPECT_EQ(0, StampaEsitoPOS(d, Recorder()));
  std::vector<std::string> expected = {
      "40011",
      "4002",
      "700101",
      "4003120* ACQUISTO CON POS *",
      "4003114COMANDO : PAGA",
      "4003110ESITO : 05",
      "4003119DESCR. ERR       : ",
      "4003119DESCR. ERR AGGI. : ",
      "4003129KODescription : CARTA SCADUTA",
      "4003118TerminalId : T0001",
      "700102",
      "4004",
  };
  EXPECT_EQ(expected, sent_);
}

TEST_F(SlipTest, TimedOutPaymentPrintsTheErrorText) {
  POSData d;
  d.commandWord = "PAGA";
  d.errorText = "Timed out.";
  StampaEsitoPOS(d, Recorder());
  ASSERT_EQ(12u, sent_.size());
  EXPECT_EQ("4003129DESCR. ERR       : Timed out.", sent_[6]);
}

TEST_F(SlipTest, ApprovedPaymentWithSignature) {
  EXPECT_EQ(0, StampaEsitoPOS(Approved("2"), Recorder()));
  std::vector<std::string> expected = {
      "40011",
      "4002",
      "700101",
      SlipLine("* ACQUISTO CON POS *"),
      SlipLine("COMANDO : PAGA"),
      SlipLine("KODescription : OK"),
      SlipLine("TerminalId : T0001"),
      SlipLine("AcquirerId : ACQ9"),
      SlipLine("TransactionType : SALE"),
      SlipLine("TransactionResult : 00"),
      SlipLine("KODescription : OK"),
      SlipLine("CardType : 2"),
      SlipLine("STAN : 000123"),
      SlipLine(" PAN : ****1234"),
      SlipLine("AuthorizationCode : AB12"),
      SlipLine("OperationNumber : 0042"),
      SlipLine("DataTrs : 03/05/2024"),
      "700101",
      "4003127IMPORTO EUR           12.50",
      "700101",
      SlipLine("-----COPIA------CLIENTE-----"),
      "700101",
      "4003125C/M  SIGNATURE      FIRMA",
      "700102",
      "4003130------------------------------",
      "700102",
      "4004",
  };
  EXPECT_EQ(expected, sent_);
}

TEST_F(SlipTest, ApprovedPaymentWithoutSignature) {
  StampaEsitoPOS(Approved("2"), Recorder());
  std::vector<std::string> withSignature = sent_;
  sent_.clear();
  StampaEsitoPOS(Approved("1"), Recorder());
  ASSERT_EQ(withSignature.size() - 4, sent_.size());
  EXPECT_EQ(SlipLine("CardType : 1"), sent_[11]);
  EXPECT_EQ("700101", sent_[sent_.size() - 2]);
  EXPECT_EQ("4004", sent_.back());
  for (const auto& c : sent_) EXPECT_EQ(std::string::npos, c.find("FIRMA"));
}

// The slip of an approval obtained before says under its title that it is a
// copy; the rest is the slip as it was.
TEST_F(SlipTest, CopyOfAnEarlierApproval) {
  StampaEsitoPOS(Approved("1"), Recorder());
  std::vector<std::string> expected = sent_;
  expected.insert(expected.begin() + 4, "4003130*** COPIA: GIA' ADDEBITATO ***");
  sent_.clear();
  StampaEsitoPOS(Approved("1"), Recorder(), true);
  EXPECT_EQ(expected, sent_);
}

}  // namespace
}  // namespace payment
