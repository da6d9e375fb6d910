// The XonXoff adapter on any key document: every command it makes ends with
// ";" and carries no line break, so each one stays one line of tempSL.txt.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "adapters/xonxoff.h"
#include "fuzz_support.h"
#include "language/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto lines = language::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& line : adapters::ConvertXonXoff(lines)) {
    fuzz::Check(!line.empty() && line.back() == ';', "command without ';': " + line);
    fuzz::Check(line.find_first_of("\r\n") == std::string::npos, "line break in " + line);
  }
  return 0;
}
