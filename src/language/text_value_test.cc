// Numbers and texts of the settings files and the native commands.
#include "language/text_value.h"

#include <gtest/gtest.h>

namespace {

TEST(TextValueTest, ValueOfTheLeadingNumber) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"120", 120},   {"  5", 5},     {"0.5", 0.5},  {".5", 0.5},   {"12abc", 12},
      {"abc", 0},     {"", 0},        {"-3", -3},    {"+7", 7},     {"1e3", 1000},
      {"1e", 1},      {"2,5", 2},     {"\t42", 42},  {"-", 0},      {".", 0},
      {"70000 ", 70000},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(language::TextValue(c.text), c.value) << c.text;
}

TEST(TextValueTest, NumericMeansTheWholeTextIsANumber) {
  struct Case {
    const char* text;
    bool numeric;
  } cases[] = {
      {"2200", true}, {" 22.5 ", true}, {"-4", true},   {"1e2", true},  {"", false},
      {"x", false},   {"12abc", false}, {"  ", false},  {"2,5", false}, {"1 2", false},
  };
  for (const auto& c : cases) EXPECT_EQ(language::IsNumericText(c.text), c.numeric) << c.text;
}

TEST(TextValueTest, FieldSkipsLeadingBlanksOnlyAndTrimRemovesSpaces) {
  EXPECT_EQ(language::LineField("  F "), "F ");
  EXPECT_EQ(language::LineField("\t1"), "1");
  EXPECT_EQ(language::Trimmed("  1  "), "1");
  EXPECT_EQ(language::Trimmed("   "), "");
  EXPECT_EQ(language::Trimmed(" \t1\r\n", " \t\r\n"), "1");
  EXPECT_EQ(language::Trimmed("\t1 ", " "), "\t1");
}

// The amounts of the display, the registers' dump, the payment line and the
// card slip: sign, units, separator and always two digits of cents.
TEST(TextValueTest, CentsAsUnitsAndTwoDigits) {
  struct Case {
    int64_t cents;
    char separator;
    const char* text;
  } cases[] = {
      {0, ',', "0,00"},       {5, '.', "0.05"},     {-5, ',', "-0,05"},
      {1250, ',', "12,50"},   {-123456, '.', "-1234.56"},
      {INT64_MIN, '.', "-92233720368547758.08"},
  };
  for (const auto& c : cases) EXPECT_EQ(language::FormatCents(c.cents, c.separator), c.text) << c.cents;
}

TEST(TextValueTest, RoundsHalfToEven) {
  EXPECT_EQ(language::RoundToInteger(22.5), 22);
  EXPECT_EQ(language::RoundToInteger(23.5), 24);
  EXPECT_EQ(language::RoundToInteger(-0.4), 0);
}

}  // namespace
