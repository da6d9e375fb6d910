// The OPFS adapter on any invoice: byte 0 picks the VAT table, the rest is
// the document. A successful run always ends the rewritten document with
// the invoice's closing, so the printer is never left with it open, and
// every rewritten line stays one line of the document.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "adapters/opfs.h"
#include "fuzz_support.h"
#include "language/language.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  settings::VatTable vat;
  if (data[0] & 1) vat.slot[4] = 500;
  if (data[0] & 2) vat.slot[0] = 0;
  const settings::DateTime now = {2026, 12, 7, 10, 30, 15};
  const auto lines = language::SplitLines(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  long long total = -1;
  std::vector<std::string> out, trace;
  if (adapters::ConvertFatturaSuScontrino(lines, vat, now, &total, &out, &trace)) {
    fuzz::Check(!out.empty() && out.back() == "CLFS;", "invoice without its closing");
  } else {
    fuzz::Check(total == -1, "a failed invoice gave a total");
  }
  for (const std::string& line : out)
    fuzz::Check(line.find_first_of("\r\n") == std::string::npos, "line break in " + line);
  return 0;
}
