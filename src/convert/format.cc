// Formatting helpers of the native commands and of the customer display.
// Numbers are formatted by hand: no locale may ever change a command.
#include "convert/format.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace convert {
namespace {

const char kDisplayMark = '\x7f';

// A value with 15 significant digits in fixed notation, as the system's
// own number-to-text conversion shows a double (123.39999999999999 is
// 123.4 there), written to `buf`. The text is "0" for a value that has none.
std::string_view FixedText(double value, char (&buf)[64]) {
  if (!(value == value) || std::fabs(value) >= 1e17) return "0";
  int intDigits = 1;
  for (double v = std::fabs(value); v >= 10 && intDigits < 18; v /= 10) ++intDigits;
  int precision = 15 - intDigits;
  if (precision < 0) precision = 0;
  // Amounts are mostly the nearest double to a short decimal. When the
  // decimal with `precision` places read back gives the value, it lies
  // within a unit in the last place of it, far less than half a step of
  // those places: it is the rounded text, found with integers instead of
  // the general formatter, which costs more than the rest of the line.
  static constexpr double kScale[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14};
  if (value != 0 && std::fabs(value) < 1e15 && precision < 15) {
    const double scale = kScale[precision];
    const double scaled = std::nearbyint(value * scale);
    if (scaled / scale == value) {
      unsigned long long q = static_cast<unsigned long long>(std::fabs(scaled));
      char* const end = buf + sizeof buf;
      char* p = end;
      for (int place = 0; place < precision || q != 0 || place == precision; ++place) {
        if (place == precision && precision > 0) *--p = '.';
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
      }
      if (value < 0) *--p = '-';
      return std::string_view(p, static_cast<size_t>(end - p));
    }
  }
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
  if (r.ec != std::errc()) return "0";
  return std::string_view(buf, static_cast<size_t>(r.ptr - buf));
}

}  // namespace

bool FitsAmount9(double cents) {
  if (!(cents == cents)) return false;
  return cents > -0.5 && cents < 999999999.5;
}

std::string PriceForPrint(const std::string& cents) {
  if (cents.size() < 2) return "0,0" + cents;
  return cents.substr(0, cents.size() - 2) + "," + cents.substr(cents.size() - 2);
}

std::string DecimalForPrint(const std::string& number) {
  std::string s = number;
  size_t dot = s.find('.');
  if (dot != std::string::npos) s[dot] = ',';
  return s;
}

std::string StripLeadingZeros(const std::string& number) {
  size_t first = number.find_first_not_of('0');
  if (first == std::string::npos) return number;
  std::string s = number.substr(first);
  if (s[0] == ',') s.insert(0, "0");
  return s;
}

std::string NumberText(double value) {
  if (value != 0 && std::fabs(value) < 1e15 && value == std::trunc(value))
    return std::to_string(static_cast<long long>(value));
  char buf[64];
  std::string_view s = FixedText(value, buf);
  const size_t dot = s.find('.');
  if (dot != std::string_view::npos) {
    const size_t last = s.find_last_not_of('0');
    s = s.substr(0, last == dot ? dot : last + 1);
  }
  if (s == "-0") s = "0";
  return std::string(s);
}

double PercentValue(const std::string& itemCents, const std::string& percentage) {
  double cents = 0, pct = 0;
  ParseNumber(itemCents, &cents);
  ParseNumber(percentage, &pct);
  double value = cents / 100 * pct;
  char buf[64];
  const std::string_view s = FixedText(value, buf);
  const size_t dot = s.find('.');
  if (dot == std::string_view::npos || s.size() - dot - 1 <= 2) return value;
  // More than two decimals: cut to two, and add a cent's hundredth when the
  // third decimal is 5 or more.
  double cut = 0;
  ParseNumber(std::string(s.substr(0, dot + 3)), &cut);
  if (s[dot + 3] >= '5') cut += 0.01;
  return cut;
}

void CleanInPlace(std::string& text) {
  for (char& ch : text)
    if (static_cast<unsigned char>(ch) > 128) ch = '.';
}

// Description, then blanks so that the mark, a blank and the amount end at
// column 40.
std::string AmountDisplayText(const std::string& description, size_t width, double cents, char separator) {
  std::string tail;
  tail += kDisplayMark;
  tail += ' ';
  tail += FormatCents(RoundCents(cents), separator);
  // Room for the "7007" that callers put in front.
  std::string s;
  s.reserve(48);
  AppendPadded(s, description, width);
  if (s.size() + tail.size() < 40) s.append(40 - s.size() - tail.size(), ' ');
  s += tail;
  return s;
}

std::string PercentDisplayText(const std::string& description, const std::string& percentage) {
  std::string s;
  s.reserve(44);
  AppendPadded(s, description, 22);
  s.append(percentage, 0, 40 - 22);
  s.resize(40, ' ');
  return s;
}

std::string ValueDisplayText(const std::string& description, int blanks, double cents, char separator) {
  std::string s;
  s.reserve(44);
  AppendPadded(s, description, 22);
  s.append(static_cast<size_t>(blanks), ' ');
  s += kDisplayMark;
  s += ' ';
  s += FormatCents(RoundCents(cents), separator);
  if (s.size() < 40) s.append(40 - s.size(), ' ');
  return s;
}

}  // namespace convert
