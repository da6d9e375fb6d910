// The OPFS adapter on any invoice: byte 0 picks the VAT table, the rest is
// the document. A successful run always ends the rewritten document with
// the invoice's closing, so the printer is never left with it open.
#include <cstddef>
#include <cstdint>

#include "adapters/opfs.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  convert::ConvertContext ctx;
  ctx.dataDir = fuzz::ScratchDir();
  ctx.now = {2026, 12, 7, 10, 30, 15, 0};
  if (data[0] & 1) ctx.vat.slot[4] = 500;
  if (data[0] & 2) ctx.vat.slot[0] = 0;
  const std::string input = fuzz::Scratch("SR_DATI.001.txt");
  const std::string output = fuzz::Scratch("SR_DATI.001");
  fuzz::WriteFile(input, std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  long long total = -1;
  if (adapters::ConvertFatturaSuScontrino(input, output, ctx, &total)) {
    const auto lines = fuzz::ReadLines(output);
    fuzz::Check(!lines.empty() && lines.back() == "CLFS;", "invoice without its closing");
  } else {
    fuzz::Check(total == -1, "a failed invoice gave a total");
  }
  return 0;
}
