// Text normalisation on any line: it never puts a line break into a line,
// never grows a line beyond its folds, and keeps a print line's verb.
#include <cstddef>
#include <cstdint>

#include "adapters/normalise.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const int kWidths[] = {-1, 0, 1, 20, 30, 32, 40, 255};
  const int width = kWidths[data[0] % 8];
  std::string line;
  for (size_t i = 1; i < size; ++i)
    if (data[i] != '\r' && data[i] != '\n') line += char(data[i]);
  // A fold replaces one byte by at most two.
  const size_t bound = 2 * line.size() + 8;
  for (const std::string& out : {adapters::NormaliseLine(line, width), adapters::NormalisePrintLine(line, width)}) {
    fuzz::Check(out.find_first_of("\r\n") == std::string::npos, "line break in " + out);
    fuzz::Check(out.size() <= bound, "line grew to " + std::to_string(out.size()));
  }
  return 0;
}
