// Small operating-system queries: wall clock, number format, paths.
#pragma once

#include <string>

namespace platform {

struct LocalTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

LocalTime NowLocal();

// The decimal separator of the user's number settings (Win32: the user
// locale; POSIX: LC_NUMERIC of the environment, "." under LC_ALL=C).
char DecimalSeparator();

// Directory of the running executable, without a trailing separator.
std::string ProgramDirectory();

// "\" on Win32, "/" on POSIX: the separator the program joins paths with.
char PathSeparator();

}  // namespace platform
