// Formatting helpers of the native commands and the display.
#include "convert/format.h"

#include "gtest/gtest.h"

namespace convert {
namespace {

TEST(Format, Amount9) {
  EXPECT_EQ(Amount9(250LL), "000000250");
  EXPECT_EQ(Amount9(0.0), "000000000");
  EXPECT_EQ(Amount9(82.5), "000000083");  // half a cent goes up
  EXPECT_EQ(Amount9(82.49), "000000082");
  EXPECT_EQ(Amount9(999999999.0), "999999999");
  EXPECT_TRUE(FitsAmount9(999999999.4));
  EXPECT_FALSE(FitsAmount9(999999999.5));
  EXPECT_FALSE(FitsAmount9(1e300));
}

TEST(Format, PrintedNumbers) {
  EXPECT_EQ(Len2(""), "00");
  EXPECT_EQ(Len2("GRAZIE"), "06");
  EXPECT_EQ(Len2(std::string(32, 'x')), "32");
  EXPECT_EQ(PriceForPrint("1250"), "12,50");
  EXPECT_EQ(PriceForPrint("45"), ",45");
  EXPECT_EQ(PriceForPrint("5"), "0,05");
  EXPECT_EQ(DecimalForPrint("2.500"), "2,500");
  EXPECT_EQ(DecimalForPrint("2"), "2");
  EXPECT_EQ(StripLeadingZeros("007,50"), "7,50");
  EXPECT_EQ(StripLeadingZeros(",5"), "0,5");
  EXPECT_EQ(StripLeadingZeros("0,45"), "0,45");
  EXPECT_EQ(StripLeadingZeros("000"), "000");
  EXPECT_EQ(StripLeadingZeros("100"), "100");
}

TEST(Format, PercentAmount) {
  struct Case {
    const char* cents;
    const char* pct;
    const char* amount;
  } cases[] = {
      {"1000", "10", "000000100"}, {"100", "10", "000000010"}, {"1234", "10", "000000123"},
      {"1000", "2.50", "000000025"}, {"1000", "2,5", "000000025"}, {"", "10", "000000000"},
      // 0.4995 is cut to 0.49 and raised to 0.50, which the amount rounds up.
      {"999", "0.05", "000000001"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentAmount(c.cents, c.pct), c.amount) << c.cents << " " << c.pct;
}

TEST(Format, Texts) {
  EXPECT_EQ(CleanText("A\x80\x81\xe8Z"), "A\x80..Z");
  EXPECT_EQ(PadRight("ABC", 5), "ABC  ");
  EXPECT_EQ(PadRight("ABCDEF", 4), "ABCD");
  EXPECT_EQ(DisplayAmount(250, '.'), "2.50");
  EXPECT_EQ(DisplayAmount(5, ','), "0,05");
  EXPECT_EQ(DisplayAmount(123456, '.'), "1234.56");
  EXPECT_EQ(NumberText(82.5), "82.5");
  EXPECT_EQ(NumberText(12.34 * 10), "123.4");
  EXPECT_EQ(NumberText(250), "250");
}

TEST(Format, DisplayTextsAreFortyCharacters) {
  EXPECT_EQ(PaymentDisplayText("CONTANTI", 1250, '.'),
            "CONTANTI" + std::string(12 + 13, ' ') + "\x7f 12.50");
  EXPECT_EQ(ItemDisplayText("REPARTO 3", 250, '.'), "REPARTO 3" + std::string(13 + 12, ' ') + "\x7f 2.50");
  EXPECT_EQ(ValueDisplayText("SCONTO", 2, 50, '.').size(), 40u);
  EXPECT_EQ(DisplayText("CIAO").size(), 40u);
}

}  // namespace
}  // namespace convert
