// Formatting helpers of the native commands.
#pragma once

#include <string>

namespace convert {

// Cents as nine digits with leading zeros, a fraction rounded to the
// nearest cent.
std::string Amount9(double cents);
std::string Amount9(long long cents);
// Length of `text` as two digits.
std::string Len2(const std::string& text);
// "1250" -> "12,50", "45" -> ",45", "5" -> "0,05".
std::string PriceForPrint(const std::string& cents);
// The first "." replaced by ",".
std::string DecimalForPrint(const std::string& number);
// Leading zeros removed, one "0" kept or put before a leading comma; a text
// of zeros only stays as it is.
std::string StripLeadingZeros(const std::string& number);
// Item amount in cents / 100 * percentage, cut to two decimals with 0.01
// added when the third decimal is 5 or more, as nine digits.
std::string PercentAmount(const std::string& itemCents, const std::string& percentage);
// Every character above code 128 becomes ".".
std::string CleanText(const std::string& text);
// `text` cut or padded with blanks to `width`.
std::string PadRight(const std::string& text, size_t width);

}  // namespace convert
