// The converter's frame: entry and input adapters, the per-line order of the
// verb tests and the closing of the receipt.
#include "convert/converter.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "adapters/normalise.h"
#include "adapters/opfs.h"
#include "adapters/xonxoff.h"
#include "convert/format.h"
#include "convert/state.h"

namespace convert {
namespace {

// Sequence, terminator and checksum leave this much of a 255-byte frame.
constexpr size_t kMaxCommand = 252;

// Each verb reads its texts at its own width; READ names a file and is
// taken as it is. `out` keeps its room from one line to the next.
void Normalise(const std::string& line, std::string& out) {
  if (HasVerb(line, "PRNT,")) {
    out = adapters::NormalisePrintLine(line, 32);
    CleanInPlace(out);
    return;
  }
  if (HasVerb(line, "READ")) {
    out = line;
    return;
  }
  adapters::NormaliseLine(line, HasVerb(line, "DISP") ? 40 : 30, &out);
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
  // An adjustment of the last item ends the line; one of the subtotal does not.
  if (c.verb.Is("DISC") || c.verb.Is("MAGG")) {
    Step([&] { return ConvertItemPercent(c, c.verb.Is("MAGG")), false; });
    return;
  }
  if (c.verb.Is("COUP") || c.verb.Is("ADDI")) {
    Step([&] { return ConvertItemValue(c, c.verb.Is("ADDI")), false; });
    return;
  }
  if (c.verb.Is("DOST") || c.verb.Is("MOST")) Step([&] { return ConvertSubtotalPercent(c, c.verb.Is("MOST")), false; });
  if (c.verb.Is("COST") || c.verb.Is("ADDS")) Step([&] { return ConvertSubtotalValue(c, c.verb.Is("ADDS")), false; });
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
  if (!st.facts.functionDocument && !st.facts.invoiceMode) {
    if (st.itemsSold && st.facts.paymentSeen) {
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

bool HoldsControlByte(const std::string& line) {
  for (unsigned char c : line)
    if (c < 0x20 && c != '\t') return true;
  return false;
}

// A hostile host's STX or ETX in a text would become a frame of its own:
// control bytes are blanks from the moment the document is taken in. Tabs
// wait for the text fields, which drop them.
const std::vector<std::string>& BlankedDocument(const std::vector<std::string>& document,
                                                std::vector<std::string>& copy, ConversionResult& r) {
  if (std::none_of(document.begin(), document.end(), HoldsControlByte)) return document;
  copy = document;
  for (std::string& line : copy) r.controlBytesBlanked += language::BlankControlBytes(line, true);
  return copy;
}

int16_t Convert(const std::vector<std::string>& taken, const ConvertContext& ctx, ConversionState& st,
                ConversionResult& r) {
  std::vector<std::string> blanked;
  const std::vector<std::string>& document = BlankedDocument(taken, blanked, r);
  const std::vector<std::string>* input = &document;
  if (ctx.options.chbConvXonXoff) {
    // A missing or empty key file is a conversion error.
    if (document.empty()) return 1;
    r.tempSL = adapters::ConvertXonXoff(document);
    input = &*r.tempSL;
  } else if (ctx.options.OptFiscal() && !document.empty() && HasVerb(document[0], "OPFS")) {
    r.opfsCopy = true;
    long long total = 0;
    std::vector<std::string>* trace = ctx.options.chbTrace ? &r.traceLines : nullptr;
    if (!adapters::ConvertFatturaSuScontrino(document, ctx.vat, ctx.now, &total, &r.rewrittenDocument, trace))
      return 0;
    st.adapterInvoiceTotal = total;
    input = &r.rewrittenDocument;
  }
  const std::vector<std::string>& lines = *input;
  if (lines.empty()) return 0;

  std::vector<std::string>& out = r.commands;
  out.reserve(2 * lines.size() + 16);
  out.push_back("7007" + std::string(40, ' '));

  std::string line;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& raw = lines[i];
    if (st.cashOnly && !IsCashLine(raw)) continue;
    try {
      Normalise(raw, line);
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
    if (!ls.display.empty()) out.push_back(std::move(ls.display));
    if (!ls.command.empty()) out.push_back(std::move(ls.command));
    if (c.consumeNext) ++i;
  }

  st.reprintRequested = HasVerb(lines.back(), "RLPR");
  CloseDocument(st, ctx, st.reprintRequested, out);

  for (std::string& command : out) {
    // A tab outside a text field (a print line, a code) is still there.
    r.controlBytesBlanked += language::BlankControlBytes(command);
    if (!FitsFrame(command)) return 1;
  }
  // The transmission prints it after the closing.
  r.controlBytesBlanked += language::BlankControlBytes(st.facts.paymentText);

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
  return ctx.dataDir + ctx.pathSeparator + name;
}

ConversionResult ConvertDocument(const std::vector<std::string>& lines, const ConvertContext& ctx) {
  ConversionResult r;
  ConversionState st;
  try {
    r.result = Convert(lines, ctx, st, r);
  } catch (...) {
    // Out of memory or worse: a conversion error.
    r.result = 1;
    r.commands.clear();
    return r;
  }
  if (r.result != 0) r.commands.clear();
  if (r.controlBytesBlanked > 0 && ctx.options.chbTrace)
    r.traceLines.push_back(" --> ConvertDocument: caratteri di controllo sostituiti da spazi: " +
                           std::to_string(r.controlBytesBlanked));
  r.facts = st.facts;
  r.closings = ClosingCommands(r.commands);
  return r;
}

std::vector<size_t> ClosingCommands(const std::vector<std::string>& commands) {
  std::vector<size_t> closings;
  for (size_t i = 0; i < commands.size(); ++i)
    if (commands[i].compare(0, 4, "3011") == 0 || commands[i].compare(0, 4, "1010") == 0) closings.push_back(i);
  return closings;
}

ConversionResult ConvertMissingDocument(const ConvertContext& ctx) {
  ConversionResult r;
  // Without its key file the XonXoff adapter fails.
  if (ctx.options.chbConvXonXoff) {
    r.result = 1;
    return r;
  }
  r.messages.push_back("Il file SR_DATI non esiste");
  return r;
}

}  // namespace convert
