// Numbers and texts of the settings files and the native commands,
// locale-free on purpose: a point whatever the user's number settings say.
#include "language/text_value.h"

#include <cmath>
#include <cstdlib>

namespace language {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the decimal number at the start of `text` (sign, digits,
// point, fraction, exponent), 0 when there is none.
size_t NumberLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    size_t exp_start = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j > exp_start) i = j;
  }
  return i;
}

}  // namespace

std::string_view LineField(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  return line.substr(i);
}

std::string_view Trimmed(std::string_view text, std::string_view blanks) {
  size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(blanks);
  return text.substr(begin, end - begin + 1);
}

double TextValue(std::string_view text) {
  text = LineField(text);
  size_t n = NumberLength(text);
  if (n == 0) return 0;
  // strtod needs a terminated copy; the C locale is never changed in this
  // program, so its decimal point is ".".
  std::string number(text.substr(0, n));
  return std::strtod(number.c_str(), nullptr);
}

bool IsNumericText(std::string_view text) {
  text = LineField(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return !text.empty() && NumberLength(text) == text.size();
}

long long RoundToInteger(double value) { return std::llrint(value); }

// Cents rounded half away from zero; a value too large for a long long is
// clamped (FitsAmount9 refuses it long before).
long long RoundCents(double cents) {
  if (!(cents == cents)) return 0;
  if (cents > 9e17) return 900000000000000000LL;
  if (cents < -9e17) return -900000000000000000LL;
  return std::llround(cents);
}

std::string Amount9(long long cents) {
  const bool negative = cents < 0;
  unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(cents) : cents;
  // Digits from the right, at least nine.
  char buf[24];
  char* p = buf + sizeof buf;
  int n = 0;
  do {
    *--p = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (++n < 9 || u != 0);
  if (negative) *--p = '-';
  return std::string(p, buf + sizeof buf);
}

std::string Amount9(double cents) { return Amount9(RoundCents(cents)); }

std::string FormatCents(int64_t cents, char decimalSeparator) {
  uint64_t u = cents < 0 ? 0ULL - static_cast<uint64_t>(cents) : static_cast<uint64_t>(cents);
  char buf[32];
  char* p = buf + sizeof buf;
  *--p = static_cast<char>('0' + u % 10);
  *--p = static_cast<char>('0' + u / 10 % 10);
  *--p = decimalSeparator;
  u /= 100;
  do {
    *--p = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (cents < 0) *--p = '-';
  return std::string(p, buf + sizeof buf);
}

std::string Len2(const std::string& text) {
  const size_t n = text.size();
  if (n < 100) return {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
  return std::to_string(n);
}

bool ParseNumber(const std::string& text, double* value) {
  double whole = 0, scale = 1;
  bool point = false, digit = false;
  for (char ch : text) {
    if ((ch == '.' || ch == ',') && !point) {
      point = true;
    } else if (ch >= '0' && ch <= '9') {
      digit = true;
      if (point) {
        scale /= 10;
        whole += (ch - '0') * scale;
      } else {
        whole = whole * 10 + (ch - '0');
      }
    } else {
      return false;
    }
  }
  if (!digit) return false;
  *value = whole;
  return true;
}

std::string PadRight(const std::string& text, size_t width) {
  if (text.size() >= width) return text.substr(0, width);
  return text + std::string(width - text.size(), ' ');
}

}  // namespace language
