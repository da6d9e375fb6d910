// Formatting helpers of the native commands and the display.
#include "convert/format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

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
  for (const Case& c : cases) EXPECT_EQ(Amount9(PercentValue(c.cents, c.pct)), c.amount) << c.cents << " " << c.pct;
}

TEST(Format, Texts) {
  std::string text = "A\x80\x81\xe8Z";
  CleanInPlace(text);
  EXPECT_EQ(text, "A\x80..Z");
  EXPECT_EQ(PadRight("ABC", 5), "ABC  ");
  EXPECT_EQ(PadRight("ABCDEF", 4), "ABCD");
  EXPECT_EQ(FormatCents(RoundCents(250), '.'), "2.50");
  EXPECT_EQ(FormatCents(RoundCents(5), ','), "0,05");
  EXPECT_EQ(FormatCents(RoundCents(123456), '.'), "1234.56");
  EXPECT_EQ(NumberText(82.5), "82.5");
  EXPECT_EQ(NumberText(12.34 * 10), "123.4");
  EXPECT_EQ(NumberText(250), "250");
}

// The digits of a value are those of the general formatter at fifteen
// significant digits, whichever way they are found: amounts, percentages
// of amounts and quantities times prices, near and far from a short decimal.
TEST(Format, NumberTextMatchesTheGeneralFormatter) {
  auto reference = [](double v) {
    int intDigits = 1;
    for (double a = std::fabs(v); a >= 10 && intDigits < 18; a /= 10) ++intDigits;
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, std::max(15 - intDigits, 0));
    std::string s(buf, r.ptr);
    if (s.find('.') != std::string::npos) {
      s.erase(s.find_last_not_of('0') + 1);
      if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? std::string("0") : s;
  };
  std::vector<double> values = {0.1, 0.05, -61.7, 61.69999999999999, 1e-20, 123456789012.345, 4503599627370495.5};
  const double pcts[] = {0.5, 1, 2.5, 5, 7.25, 10, 12.5, 22, 33.33, 99.99};
  const double quantities[] = {0.001, 0.125, 0.333, 1.5, 2.75};
  for (int cents = 1; cents < 200000; cents = cents * 3 + 7) {
    for (double pct : pcts) values.push_back(cents / 100.0 * pct);
    for (double q : quantities) values.push_back(cents * q);
  }
  uint64_t x = 88172645463325252ULL;  // a fixed xorshift sequence of raw doubles
  for (int i = 0; i < 2000; ++i) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    values.push_back(static_cast<double>(x % 100000000000ULL) / 1000.0 * ((x >> 40) % 2 ? 1 : -1));
    // Every bit of the mantissa in use: the text is rarely a short decimal.
    values.push_back(std::ldexp(static_cast<double>(x >> 11), -53 + static_cast<int>(x % 40)));
  }
  for (double v : values) EXPECT_EQ(NumberText(v), reference(v)) << std::hexfloat << v;
}

TEST(Format, DisplayTextsAreFortyCharacters) {
  EXPECT_EQ(AmountDisplayText("CONTANTI", 20, 1250, '.'),
            "CONTANTI" + std::string(12 + 13, ' ') + "\x7f 12.50");
  EXPECT_EQ(AmountDisplayText("REPARTO 3", 22, 250, '.'), "REPARTO 3" + std::string(13 + 12, ' ') + "\x7f 2.50");
  EXPECT_EQ(ValueDisplayText("SCONTO", 2, 50, '.').size(), 40u);
  EXPECT_EQ(PadRight("CIAO", 40).size(), 40u);
}

}  // namespace
}  // namespace convert
