// Text helpers of the printer link.
#include "ecr/text.h"

#include <cstdio>

namespace ecr {

std::string Mid(const std::string& text, long start, long length) {
  if (start < 1 || size_t(start) > text.size()) return "";
  if (length < 0) return text.substr(size_t(start - 1));
  return text.substr(size_t(start - 1), size_t(length));
}

int64_t Val(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) break;
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::string TwoDigits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", value);
  return buf;
}

}  // namespace ecr
