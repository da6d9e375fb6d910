// The converter on a whole document: byte 0 picks the options, byte 1 the
// printer, the rest is SR_DATI. Whatever the document, the result is 0 or 1,
// a failed conversion gives no commands, every command fits a frame and
// holds no byte below 0x20 (the printer would take it for framing), every
// line written to a file stays one line, and a second run gives the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "convert/converter.h"
#include "fuzz_support.h"
#include "language/language.h"

namespace {

// Sequence, terminal digit and checksum leave this much of a 255-byte frame.
constexpr size_t kMaxCommand = 252;

// Lines the transmission carries out itself instead of sending them.
bool IsPseudoCommand(const std::string& line) {
  for (const char* p : {"READ,", "SEDT", "REDT", "MOST", "DOST"})
    if (line.rfind(p, 0) == 0) return true;
  return false;
}

void CheckFileLines(const std::vector<std::string>& lines, const char* file) {
  for (const std::string& line : lines)
    fuzz::Check(line.find_first_of("\r\n") == std::string::npos, std::string("line break in ") + file + ": " + line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  convert::ConvertContext ctx;
  ctx.dataDir = "C:\\QUILO1";
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
  ctx.options.chbTrace = p & 16;
  ctx.printer.printerSerial = "99MEY012345";
  ctx.now = {2026, 12, 7, 10, 30, 15};

  const std::vector<std::string> lines =
      language::SplitLines(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
  const convert::ConversionResult converted = convert::ConvertDocument(lines, ctx);
  const int16_t result = converted.result;

  fuzz::Check(result == 0 || result == 1, "result " + std::to_string(result));
  fuzz::Check(result == 0 || converted.commands.empty(), "a failed conversion gave commands");
  for (const std::string& line : converted.commands) {
    for (unsigned char c : line)
      fuzz::Check(c >= 0x20, "control byte " + std::to_string(c) + " in command: " + line);
    if (IsPseudoCommand(line)) continue;
    fuzz::Check(line.size() <= kMaxCommand, "command of " + std::to_string(line.size()) + " bytes: " + line);
  }
  CheckFileLines(converted.commands, "KB.txt");
  if (converted.tempSL) CheckFileLines(*converted.tempSL, "tempSL.txt");
  CheckFileLines(converted.rewrittenDocument, "SR_DATI");

  const convert::ConversionResult again = convert::ConvertDocument(lines, ctx);
  fuzz::Check(again.result == result && again.commands == converted.commands && again.tempSL == converted.tempSL &&
                  again.rewrittenDocument == converted.rewrittenDocument,
              "a second conversion of the same lines differs");
  return 0;
}
