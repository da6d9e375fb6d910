// The lines that are neither items nor payments: text and trailer lines, the
// customer display, drawer, non-fiscal documents, references to earlier
// receipts, cash movements, reports, barcodes and read requests.
#include "convert/state.h"

#include <string>
#include <utility>

#include "convert/format.h"

namespace convert {
namespace {

// The link cannot frame a longer command.
constexpr size_t kMaxCommand = 252;

const std::string kDisplayClear = "7007";

// The field's value in a line other than the one converted (DISP looks at
// the next); false (and an empty value) when the marker is absent.
bool Field(const std::string& line, const char* marker, std::string* value) {
  value->clear();
  return FindField(false, value, line, marker);
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char ch : s)
    if (ch < '0' || ch > '9') return false;
  return true;
}

// A plain decimal number between blanks: digits with at most one ".", at
// least one digit.
bool ParseDecimal(const std::string& text, double* out) {
  const std::string number(language::Trimmed(text));
  return number.find(',') == std::string::npos && ParseNumber(number, out);
}

// Print attribute digit of PRNT and EXTL.
std::string Attribute(const LineContext& c) {
  std::string h;
  if (!c.Field(",H", &h)) return "1";
  h = std::string(language::Trimmed(h));
  if (h == "1") return "4";
  if (h == "2") return "2";
  return "1";
}

// Invoice text: everything after the first ",:" up to the first ",H" after
// it, so that the text may hold commas and semicolons.
std::string InvoiceText(const std::string& line) {
  size_t start = line.find(",:");
  if (start == std::string::npos) return "";
  start += 2;
  for (size_t end = start; end + 1 < line.size(); ++end)
    if (line[end] == ',' && language::UpperAscii(line[end + 1]) == 'H') return line.substr(start, end - start);
  std::string text = line.substr(start);
  if (!text.empty() && text.back() == ';') text.pop_back();
  return text;
}

// Parts of the 8-character reference number, each written as 4 digits.
bool ReferenceNumbers(const std::string& n, std::string* digits) {
  if (n.size() != 8) return false;
  std::string result;
  for (size_t part = 0; part < 8; part += 4) {
    std::string p(language::Trimmed(n.substr(part, 4)));
    if (!AllDigits(p)) return false;
    result += std::string(4 - p.size(), '0') + p;
  }
  *digits = result;
  return true;
}

// The file a READ line names: `text` is the ",:" value (empty when absent),
// `separators` the characters that make it a path rather than a bare name.
std::string ReadTarget(const ConvertContext& ctx, const std::string& text, const std::string& separators) {
  std::string name = text;
  // Quotes around a path with blanks: taken off first, so that a suffix
  // does not end up behind the closing quote.
  if (!name.empty() && name.front() == '"') name.erase(0, 1);
  if (!name.empty() && name.back() == '"') name.pop_back();

  const std::string suffix = ".00" + std::to_string(ctx.currentPort);
  const bool hasDot = name.find('.') != std::string::npos;
  if (language::Trimmed(name).empty()) return DataFile(ctx, "DataReceived.txt");
  if (name.find_first_of(separators) == std::string::npos)
    return DataFile(ctx, hasDot ? name : name + suffix);
  return hasDot ? name : name + suffix;
}

bool Abort(LineContext& c) {
  c.abort = true;
  return true;
}

// NDCR (letter "R") and DELD (letter "A") on a printer in RT mode.
bool RtReference(LineContext& c, char letter) {
  const bool cancel = letter == 'A';
  std::string number, date, origin;
  const bool hasNumber = c.Field(",N", &number);
  if (hasNumber && number.size() != 8) return Abort(c);
  if (!c.Field(",D", &date)) return Abort(c);
  c.Field(",>", &origin);

  const std::string L(1, letter);
  if (origin.size() == 11) {
    std::string digits;
    // A receipt of a printer is only found by its numbers.
    if (!hasNumber || !ReferenceNumbers(number, &digits)) return Abort(c);
    const std::string r = "7101" + L + digits + date;
    const std::string tail = "11" + origin;
    if (r.size() + 1 + tail.size() > kMaxCommand) return Abort(c);
    if (origin != c.ctx.printer.printerSerial) {
      c.out.push_back(r + "0" + tail);
      c.out.push_back(r + "1" + tail);
    } else if (!cancel) {
      c.out.push_back(r + "0");
      c.out.push_back(r + "8" + tail);
    } else {
      c.out.push_back(r + "8");
      c.out.push_back(r + "1");
      c.st.cashOnly = true;
    }
  } else if (origin.size() == 3 || origin.size() == 2) {
    std::string command;
    if (origin == "POS") {
      command = "7114" + L + "03" + origin + date;
    } else if (origin == "ND" || origin == "VR") {
      command = "7114" + L + "02" + origin + date;
    } else if (origin.size() == 2) {
      return Abort(c);
    }
    if (command.size() > kMaxCommand) return Abort(c);
    if (!command.empty()) {
      if (cancel)
        c.ls.command = command;
      else
        c.out.push_back(command);
    }
  } else {
    return Abort(c);
  }
  c.st.referencedDocument = true;
  return true;
}

}  // namespace

bool ConvertOpen(LineContext& c) {
  if (!c.verb.Is("OPEN")) return false;
  c.out.push_back("70081");
  return true;
}

bool ConvertReference(LineContext& c) {
  if (c.verb.Is("NDCR,")) {
    c.st.referencedDocument = true;
    if (c.ctx.printer.rtMode) return RtReference(c, 'R');
    std::string text;
    if (!c.Field(",:", &text)) text = " ";
    c.out.push_back("7102600000");
    c.ls.command = "3010P12" + PadRight(text, 12);
    return true;
  }
  if (c.verb.Is("DELD")) {
    if (!c.ctx.printer.rtMode) return Abort(c);
    return RtReference(c, 'A');
  }
  return false;
}

void ConvertCashMovementsAndNonFiscal(LineContext& c) {
  const bool deposit = c.verb.Is("DEPO");
  if (deposit || c.verb.Is("PREL")) {
    std::string v;
    double cents = 0;
    // Nine digits is all the command holds; a larger sum is no deposit.
    if (c.Field(",V", &v) && ParseDecimal(v, &cents) && cents > 0 &&
        cents < 999999999.5)
      c.ls.command = (deposit ? "7106D" : "7106P") + Amount9(cents);
  }

  if (c.verb.Is("OPNF")) {
    if (c.st.itemsSold && !c.st.facts.functionDocument) {
      // A receipt is still open: close it before the non-fiscal document.
      // The tax code held for the payment goes out now: there is none.
      FlushTaxCode(c);
      AppendPaidClosing(c.st, c.ctx.options, c.out);
      c.out.push_back("3013");
    }
    c.st.facts.invoiceMode = true;
    c.out.push_back("40011");
    c.ls.command = "4002";
  }

  if (c.verb.Is("CLNF")) c.ls.command = "4004";
}

void ConvertTextLines(LineContext& c) {
  if (c.verb.Is("PRNT,")) {
    std::string text;
    if (c.st.invoiceTextMode)
      text = InvoiceText(c.line);
    else
      c.Field(",:", &text);
    CleanInPlace(text);
    if (TooLong(c, text) || ApplyTaxCodeRule(c, text)) return;
    std::string command;
    command.reserve(10 + text.size());
    command += c.st.facts.invoiceMode ? "4003" : "3002";
    command += Attribute(c);
    command += Len2(text);
    command += text;
    c.ls.command = std::move(command);
  }

  if (c.verb.Is("EXTL,") && !c.st.facts.invoiceMode) {
    std::string text;
    if (c.Field(",:", &text)) {
      if (text.size() > 32) text.resize(32);
      if (text.empty()) text = " ";
      c.st.trailerLines.push_back("3012" + Attribute(c) + Len2(text) + text);
    }
  }

  if (c.verb.Is("CLER")) {
    std::string text;
    if (c.Field(",C", &text) && !TooLong(c, text)) c.ls.command = "30021" + Len2(text) + text;
  }
}

bool ConvertDisplay(LineContext& c) {
  if (!c.verb.Is("DISP")) return false;

  bool secondRow = false;
  std::string n;
  double row = 0;
  if (c.Field(",N", &n) && ParseDecimal(n, &row) && row != 1) secondRow = true;

  std::string text;
  if (c.Field(",:", &text)) {
    if (text.size() > 40) text.resize(40);
  } else {
    text = std::string(20, ' ');
  }
  if (text.size() < 20) text = PadRight(text, 20);

  if (secondRow) {
    c.ls.command = kDisplayClear + std::string(20, ' ') + text;
  } else if (text.size() > 20) {
    c.ls.command = PadRight(kDisplayClear + text, 44);
  } else {
    std::string row2 = std::string(20, ' ');
    if (c.nextLine && language::HasVerb(*c.nextLine, "DISP,")) {
      // The next line is taken as it stands: it is consumed, never converted.
      const std::string& next = *c.nextLine;
      std::string nextN;
      double nextRow = 0;
      if (Field(next, ",N", &nextN) && ParseDecimal(nextN, &nextRow) && nextRow == 2) {
        std::string t;
        if (Field(next, ",:", &t)) row2 = PadRight(t, 20);
        c.consumeNext = true;
      }
    }
    c.ls.command = kDisplayClear + text + row2;
  }
  return true;
}

void ConvertFunctions(LineContext& c) {
  if (c.verb.Is("ZKEY")) c.st.zKey = true;
  if (c.verb.Is("XKEY")) c.st.zKey = false;
  if (!c.verb.Is("FUNC")) return;

  c.st.facts.functionDocument = true;
  std::string n;
  if (!c.Field(",N", &n)) return;

  struct Report {
    const char* number;
    const char* closingText;
    const char* closing;
    const char* readingText;
    const char* reading;
  };
  static const Report kReports[] = {
      {"1", "RAPP. FISCALE : AZZERAMENTO", "2002", "RAPP. FISCALE : LETTURA", "2003"},
      {"2", "RAPP. REPARTI : AZZERAMENTO", "2102", "RAPP. REPARTI : LETTURA", "2103"},
      {"3", "RAPP. FINANZIARIO", "220202", "LETT. FINANZIARIO", "220302"},
  };
  for (const Report& r : kReports) {
    if (n != r.number) continue;
    c.ls.display = kDisplayClear + PadRight(c.st.zKey ? r.closingText : r.readingText, 40);
    c.ls.command = c.st.zKey ? r.closing : r.reading;
    return;
  }
  if (n == "25") {
    c.out.push_back("3101817ANNULLO SCONTRINO000000000");
    c.out.push_back("3011");
    c.out.push_back("3013");
  } else if (n == "39") {
    // Only marks the line before it as the customer's tax code.
    c.st.facts.functionDocument = false;
  }
}

void ConvertCodes(LineContext& c) {
  std::string text;
  if (c.verb.Is("QRCO") && c.Field(",:", &text) && !language::Trimmed(text).empty()) {
    if (!TooLong(c, text)) c.ls.command = "30216000" + Len2(text) + text;
    return;
  }

  std::string type;
  if (!c.verb.Is("BARC") || !c.Field(",T", &type)) return;
  // Only the printer's types 1 to 4; anything else is its default type.
  const char t = type.empty() ? '1' : type[0];
  const char kind = (t >= '1' && t <= '4') ? t : '1';
  std::string h;
  const char hri = !c.Field(",H", &h) ? '0' : (!h.empty() && h[0] == '0') ? '0' : '2';
  if (!c.Field(",:", &text) || TooLong(c, text)) return;
  c.ls.command = std::string("3021") + kind + hri + "00" + Len2(text) + text;
}

void ConvertRead(LineContext& c) {
  if (c.st.referencedDocument || !c.verb.Is("READ")) return;
  std::string n, text;
  std::string count = "1";
  if (c.Field(",N", &n)) {
    n = std::string(language::Trimmed(n));
    size_t nonZero = n.find_first_not_of('0');
    if (AllDigits(n))
      count = nonZero == std::string::npos ? "0" : n.substr(nonZero);
  }
  c.Field(",:", &text);
  std::string separators = "\\";
  if (c.ctx.pathSeparator != '\\') separators += c.ctx.pathSeparator;
  c.ls.command = "READ," + count + "," + ReadTarget(c.ctx, text, separators);
}

}  // namespace convert
