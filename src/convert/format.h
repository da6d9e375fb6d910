// Formatting helpers of the native commands.
#pragma once

#include <string>
#include <string_view>

#include "language/text_value.h"

namespace convert {

using language::Amount9;
using language::FormatCents;
using language::Len2;
using language::PadRight;
using language::ParseNumber;
using language::RoundCents;

// `text` cut or padded with blanks to `width`, appended to `out`: the
// padded copy without a string of its own.
inline void AppendPadded(std::string& out, std::string_view text, size_t width) {
  const size_t n = text.size() < width ? text.size() : width;
  out.append(text.data(), n);
  out.append(width - n, ' ');
}

// "1250" -> "12,50", "45" -> ",45", "5" -> "0,05".
std::string PriceForPrint(const std::string& cents);
// The first "." replaced by ",".
std::string DecimalForPrint(const std::string& number);
// Leading zeros removed, one "0" kept or put before a leading comma; a text
// of zeros only stays as it is.
std::string StripLeadingZeros(const std::string& number);
// Every character above code 128 becomes ".".
void CleanInPlace(std::string& text);

// Whether the cents round to an amount that nine digits can hold.
bool FitsAmount9(double cents);
// Item amount in cents / 100 * percentage, cut to two decimals with 0.01
// added when the third decimal is 5 or more.
double PercentValue(const std::string& itemCents, const std::string& percentage);
// A number as plain text with "." and no exponent: 250, 82.5, 123.4.
std::string NumberText(double value);

// Display texts (40 characters after "7007"). Amounts are cents, shown in
// currency units with two decimals and `separator`.
// An item (`width` 22) or a payment (20): the description in `width`
// characters, then the amount right-aligned behind the character 127 and a
// blank.
std::string AmountDisplayText(const std::string& description, size_t width, double cents, char separator);
// Percentage adjustment: the 22-character description and the percentage.
std::string PercentDisplayText(const std::string& description, const std::string& percentage);
// Adjustment by value: the 22-character description, `blanks` blanks
// (3, or 2 for a discount on the last item), 127, a blank, the amount.
std::string ValueDisplayText(const std::string& description, int blanks, double cents, char separator);

}  // namespace convert
