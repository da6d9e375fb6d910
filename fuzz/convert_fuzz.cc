// The converter on a whole document: byte 0 picks the options, byte 1 the
// printer, the rest is SR_DATI. Whatever the document, the result is 0 or 1,
// a failed conversion leaves no command file, and every command fits a frame.
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "convert/converter.h"
#include "fuzz_support.h"

namespace {

// Sequence, terminal digit and checksum leave this much of a 255-byte frame.
constexpr size_t kMaxCommand = 252;

// Lines the transmission carries out itself instead of sending them.
bool IsPseudoCommand(const std::string& line) {
  for (const char* p : {"READ,", "SEDT", "REDT", "MOST", "DOST"})
    if (line.rfind(p, 0) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  convert::ConvertContext ctx;
  ctx.dataDir = fuzz::ScratchDir();
  ctx.currentPort = 1;
  const uint8_t o = data[0], p = data[1];
  ctx.options.chbConvXonXoff = o & 1;
  ctx.options.OptNonFiscal = o & 2;
  ctx.options.CheckStampaLogo = o & 4;
  ctx.options.chbNoInviaApCassetto = o & 8;
  ctx.options.chkDisableDisplay = o & 16;
  ctx.options.chbInversioneScontiSuReso = o & 32;
  ctx.options.chbPagamentiEstesi = o & 64;
  ctx.options.chkCodFisc = o & 128;
  ctx.options.chkForzaIntestazioneFattura = p & 1;
  ctx.printer.rtMode = p & 2;
  ctx.printer.taxCodeKind = (p >> 2) & 3;
  ctx.printer.printerSerial = "99MEY012345";
  ctx.now = {2026, 12, 7, 10, 30, 15, 0};

  const std::string document = fuzz::Scratch("SR_DATI.001");
  fuzz::WriteFile(document, std::string(reinterpret_cast<const char*>(data + 2), size - 2));
  const convert::ConversionResult converted = convert::ConvertDocument(document, ctx);
  const int16_t result = converted.result;

  const std::string kb = convert::DataFile(ctx, "KB.txt");
  std::error_code ec;
  const bool written = std::filesystem::exists(kb, ec);
  fuzz::Check(result == 0 || result == 1, "result " + std::to_string(result));
  fuzz::Check(result == 0 || !written, "a failed conversion left KB.txt");
  fuzz::Check(converted.outputPath.empty() || written, "outputPath names no file");
  if (written) {
    for (const std::string& line : fuzz::ReadLines(kb)) {
      if (IsPseudoCommand(line)) continue;
      fuzz::Check(line.size() <= kMaxCommand, "command of " + std::to_string(line.size()) + " bytes: " + line);
    }
  }
  std::filesystem::remove(kb, ec);
  return 0;
}
