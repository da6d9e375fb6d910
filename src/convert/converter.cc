// The converter's frame: entry and input adapters, the per-line order of the
// verb tests, the closing of the receipt and the native command file.
#include "convert/converter.h"

#include <filesystem>
#include <vector>

#include "adapters/normalise.h"
#include "adapters/opfs.h"
#include "adapters/xonxoff.h"
#include "convert/language.h"
#include "convert/state.h"
#include "platform/file_system.h"
#include "settings/document.h"

namespace convert {
namespace {

// The disk, until the conversion is handed lines instead of paths.
platform::FileSystem& Disk() {
  static const auto disk = platform::FileSystem::CreateReal();
  return *disk;
}

// Sequence, terminator and checksum leave this much of a 255-byte frame.
constexpr size_t kMaxCommand = 252;

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

void Remove(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

bool StartsNoCase(const std::string& line, const char* prefix) {
  return FindField(true, nullptr, line, prefix);
}

// Each verb reads its texts at its own width; READ names a file and is
// taken as it is.
std::string Normalise(const std::string& line) {
  if (StartsNoCase(line, "PRNT,")) {
    std::string s = adapters::NormalisePrintLine(line, 32);
    for (char& ch : s)
      if (static_cast<unsigned char>(ch) > 128) ch = '.';
    return s;
  }
  if (StartsNoCase(line, "READ")) return line;
  return adapters::NormaliseLine(line, StartsNoCase(line, "DISP") ? 40 : 30);
}

bool IsCashLine(const std::string& line) { return HasVerb(line, "CASH") || IsTenderSynonym(line, '1'); }

// A run-time failure in one step skips that step only.
template <typename F>
bool Step(F&& f) {
  try {
    return f();
  } catch (...) {
    return false;
  }
}

// The verb tests of one line, in their fixed order. A test that ends the
// line returns early; the line's own display and command follow.
void ConvertLineBody(LineContext& c) {
  const std::string& line = c.line;
  if (Step([&] { return ConvertOpen(c); })) return;
  Step([&] { return ConvertInvoice(c), false; });
  if (Step([&] { return ConvertReference(c); }) || c.abort) return;
  Step([&] { return ConvertCashMovementsAndNonFiscal(c), false; });
  Step([&] { return ConvertLottery(c), false; });
  Step([&] { return ConvertVoidMarker(c), false; });
  Step([&] { return ConvertSubtotal(c), false; });
  Step([&] { return ConvertReturnMarker(c), false; });
  Step([&] { return ConvertItem(c), false; });
  if (c.abort) return;
  if (HasVerb(line, "DISC")) {
    Step([&] { return ConvertItemPercent(c, false); });
    return;
  }
  if (HasVerb(line, "DOST")) Step([&] { return ConvertSubtotalPercent(c, false), false; });
  if (HasVerb(line, "MAGG")) {
    Step([&] { return ConvertItemPercent(c, true); });
    return;
  }
  if (HasVerb(line, "MOST")) Step([&] { return ConvertSubtotalPercent(c, true), false; });
  if (HasVerb(line, "ADDS")) Step([&] { return ConvertSubtotalValue(c, true), false; });
  if (HasVerb(line, "ADDI")) {
    Step([&] { return ConvertItemValue(c, true); });
    return;
  }
  if (HasVerb(line, "COUP")) {
    Step([&] { return ConvertItemValue(c, false); });
    return;
  }
  if (HasVerb(line, "COST")) Step([&] { return ConvertSubtotalValue(c, false), false; });
  Step([&] { return ConvertTextLines(c), false; });
  if (c.abort) return;
  if (Step([&] { return ConvertDisplay(c); })) return;
  Step([&] { return ConvertPayments(c), false; });
  if (c.abort) return;
  Step([&] { return ConvertFunctions(c), false; });
  Step([&] { return ConvertCodes(c), false; });
  if (!c.st.referencedDocument) Step([&] { return ConvertRead(c), false; });
}

// The receipt's end: paid receipts get the closing, the logo, the trailer
// lines and the drawer; unpaid ones the plain closing and the tax code.
void CloseDocument(ConversionState& st, const ConvertContext& ctx, bool reprint,
                   std::vector<std::string>& out) {
  const settings::Options& o = ctx.options;
  if (!st.functionDocument && !st.invoiceMode) {
    if (st.itemsSold && st.paymentSeen) {
      AppendPaidClosing(st, o, out);
    } else if (st.itemsSold) {
      out.push_back("1010");
      if (o.chkCodFisc && !st.pendingTaxCode.empty()) {
        out.push_back(kBlankCustomerLine);
        out.push_back(st.pendingTaxCode);
        out.push_back("700111");
        st.pendingTaxCode.clear();
      }
    }
  }
  if (reprint && !st.referencedDocument) {
    out.push_back("3013");
    out.push_back("4007");
  }
}

// READ lines that the transmission serves itself never reach the printer;
// every other line must fit one frame.
bool FitsFrame(const std::string& command) {
  if (command.size() <= kMaxCommand) return true;
  if (command.compare(0, 5, "READ,") != 0) return false;
  return command.compare(5, 2, "1,") == 0 || command.compare(5, 2, "2,") == 0;
}

int16_t Convert(std::string documentPath, const ConvertContext& ctx, ConversionState& st, std::string* outputPath) {
  const std::string output = DataFile(ctx, "KB.txt");
  // An earlier job's command file must never be sent for this one.
  Remove(output);

  const bool xonxoff = ctx.options.chbConvXonXoff;
  if (xonxoff) {
    const std::string work = DataFile(ctx, "tempSL.txt");
    if (!adapters::ConvertXonXoff(documentPath, work, ctx)) return 1;
    documentPath = work;
  }

  if (!Exists(documentPath)) {
    if (ctx.message) ctx.message("Il file SR_DATI non esiste");
    return 0;
  }

  std::vector<std::string> lines;
  settings::FileError error;
  if (ctx.options.OptFiscal() && !xonxoff) {
    if (ReadDocument(Disk(), documentPath, &lines, &error) && !lines.empty() && HasVerb(lines[0], "OPFS")) {
      const std::string copy = documentPath + ".txt";
      std::error_code ec;
      std::filesystem::copy_file(documentPath, copy, std::filesystem::copy_options::overwrite_existing, ec);
      if (ctx.pause) ctx.pause(200);
      long long total = 0;
      if (!adapters::ConvertFatturaSuScontrino(copy, documentPath, ctx, &total)) return 0;
      st.adapterInvoiceTotal = total;
    }
  }

  Remove(output);
  std::error_code ec;
  if (std::filesystem::file_size(documentPath, ec) == 0 || ec) return 0;

  std::vector<std::string> out;
  out.push_back("7007" + std::string(40, ' '));

  lines.clear();
  if (!ReadDocument(Disk(), documentPath, &lines, &error) || lines.empty()) return 1;
  out.reserve(2 * lines.size() + 16);

  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i];
    if (st.cashOnly && !IsCashLine(raw)) continue;
    std::string line;
    try {
      line = Normalise(raw);
    } catch (...) {
      line.clear();
    }
    // The card payment request was served before the conversion.
    if (i == 0 && HasVerb(line, "PAGA")) continue;
    LineState ls;
    LineContext c{line, st, ls, out, ctx};
    c.nextLine = i + 1 < lines.size() ? &lines[i + 1] : nullptr;
    ConvertLineBody(c);
    if (c.abort) return 1;
    if (!ls.display.empty()) out.push_back(ls.display);
    if (!ls.command.empty()) out.push_back(ls.command);
    if (c.consumeNext) ++i;
  }

  st.reprintRequested = HasVerb(lines.back(), "RLPR");
  CloseDocument(st, ctx, st.reprintRequested, out);

  for (const std::string& command : out)
    if (!FitsFrame(command)) return 1;

  if (!settings::WriteDocument(Disk(), output, out, false, &error) || !Exists(output)) return 1;
  *outputPath = output;
  return 0;
}

}  // namespace

void AppendPaidClosing(ConversionState& st, const settings::Options& options, std::vector<std::string>& out) {
  out.push_back("3011");
  if (options.CheckStampaLogo) out.push_back("3017011");
  for (const std::string& t : st.trailerLines) out.push_back(t);
  st.trailerLines.clear();
  if (!options.chbNoInviaApCassetto) out.push_back("70081");
}

std::string DataFile(const ConvertContext& ctx, const std::string& name) {
  return ctx.dataDir + platform::PathSeparator() + name;
}

ConversionResult ConvertDocument(const std::string& documentPath, const ConvertContext& ctx) {
  ConversionResult r;
  ConversionState st;
  try {
    r.result = Convert(documentPath, ctx, st, &r.outputPath);
  } catch (...) {
    // Out of memory or worse: no command file, a conversion error.
    Remove(DataFile(ctx, "KB.txt"));
    r = ConversionResult();
    r.result = 1;
    return r;
  }
  r.paymentSeen = st.paymentSeen;
  r.invoiceMode = st.invoiceMode;
  r.functionDocument = st.functionDocument;
  r.cashDue = st.cashDue;
  r.chequeDue = st.chequeDue;
  r.cardDue = st.cardDue;
  r.otherDue = st.otherDue;
  r.paymentText = st.paymentText;
  return r;
}

}  // namespace convert
