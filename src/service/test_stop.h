// Test-only crash points, inert unless QUILO1_TEST_STOP_AT=NAME[:N] is set:
// the program then ends at once, as a kill -9 would, the N-th time (the first
// by default) it passes NAME. The end-to-end crash tests use them.
#pragma once

#include <cstdlib>
#include <string>

namespace service {

inline void TestStopPoint(const char* name) {
  static const char* const wanted = std::getenv("QUILO1_TEST_STOP_AT");
  static int passes = 0;
  if (!wanted) return;
  const std::string point = wanted;
  const size_t colon = point.find(':');
  if (point.substr(0, colon) != name) return;
  // No destructor, no flush: what is on the disk is what a crash leaves.
  if (++passes >= (colon == std::string::npos ? 1 : std::atoi(wanted + colon + 1))) std::_Exit(137);
}

}  // namespace service
