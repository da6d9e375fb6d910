// Numbers and texts as the settings files and the native commands have
// them, locale-free: a point as decimal separator, text that is no number
// counting as 0.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace language {

// The value of the number that `text` starts with, after leading blanks
// ("12abc" is 12, "abc" and "" are 0, "0.5" is 0.5, "-3" is -3).
double TextValue(std::string_view text);

// True when the whole text, leading and trailing blanks aside, is one
// decimal number: "2200", " 22.5 ", "-4"; not "", "x", "12abc".
bool IsNumericText(std::string_view text);

// A line as the settings reader takes it: one field, leading blanks skipped.
std::string_view LineField(std::string_view line);

// Leading and trailing `blanks` removed (spaces unless told).
std::string_view Trimmed(std::string_view text, std::string_view blanks = " ");

// Rounds half to even, as the files' integer conversion always did.
long long RoundToInteger(double value);

// Number helpers of the native commands, shared by the converter and the
// printer link. Numbers are formatted by hand: no locale may ever change a
// command.

// Cents rounded half away from zero; a value too large for a long long is
// clamped.
long long RoundCents(double cents);
// Cents as nine digits with leading zeros, a fraction rounded to the
// nearest cent.
std::string Amount9(double cents);
std::string Amount9(long long cents);
// `cents` as units, `decimalSeparator` and two digits: "12,50", "-0.05".
std::string FormatCents(int64_t cents, char decimalSeparator);
// Length of `text` as two digits.
std::string Len2(const std::string& text);
// A plain decimal number ("." or "," as separator) read without throwing;
// false when the text is not one.
bool ParseNumber(const std::string& text, double* value);
// `text` cut or padded with blanks to `width`.
std::string PadRight(const std::string& text, size_t width);

}  // namespace language
