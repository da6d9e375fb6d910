// Number and field parsing for the settings files, locale-free on purpose:
// the files use a point whatever the user's number settings say.
#include "settings/text_value.h"

#include <cmath>
#include <cstdlib>

namespace settings {
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

std::string_view Trimmed(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
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

}  // namespace settings
