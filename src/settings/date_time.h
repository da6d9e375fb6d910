// A wall-clock date and time as a plain value, for code that must be given
// its "now" rather than read a clock.
#pragma once

namespace settings {

struct DateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

}  // namespace settings
