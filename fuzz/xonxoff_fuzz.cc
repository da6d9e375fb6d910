// The XonXoff key reader on any key string: every command it makes ends with
// ";" and carries no line break, so each one stays one line of tempSL.txt.
#include <cstddef>
#include <cstdint>

#include "adapters/xonxoff.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The adapter joins the document's lines, so no key string holds CR or LF.
  std::string keys;
  for (size_t i = 0; i < size; ++i)
    if (data[i] != '\r' && data[i] != '\n') keys += char(data[i]);
  for (const std::string& line : adapters::ParseXonXoffKeys(keys)) {
    fuzz::Check(!line.empty() && line.back() == ';', "command without ';': " + line);
    fuzz::Check(line.find_first_of("\r\n") == std::string::npos, "line break in " + line);
  }
  return 0;
}
