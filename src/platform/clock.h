// The one clock of the core: wall time for stamps and file names, monotonic
// time for durations. Passed in, so tests set the time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Milliseconds of a monotonic clock; only differences mean anything.
  virtual int64_t MonotonicMs() = 0;

  // The system's clocks; lives as long as the program.
  static Clock& Real();
};

// "YYYYMMDD", `sep`, "hhmmss": the stamp of trace files and kept documents.
std::string DateTimeStamp(const LocalTime& t, char sep);

}  // namespace platform
