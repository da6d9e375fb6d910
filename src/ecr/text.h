// Small text helpers of the printer link: 1-based substrings that never
// throw, and the numeric reading of answer fields.
#pragma once

#include <cstdint>
#include <string>

#include "language/text_value.h"

namespace ecr {

// Up to `length` characters from 1-based `start` (all the rest when length
// is negative); "" when start lies beyond the text or below 1.
std::string Mid(const std::string& text, long start, long length = -1);
// Value of the leading decimal digits (blanks and a sign allowed before them),
// 0 when there are none.
int64_t Val(const std::string& text);
std::string TwoDigits(int value);
using language::FormatCents;

}  // namespace ecr
