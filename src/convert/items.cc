// The body of a sales receipt: items, returns and voids, adjustments on the
// last item or on the subtotal, and the subtotal.
#include <algorithm>
#include <cmath>
#include <utility>

#include "convert/format.h"
#include "convert/state.h"

namespace convert {
namespace {

// Surcharge or discount after the return inversion option.
bool Direction(LineContext& c, bool surcharge) {
  if (c.ctx.options.chbInversioneScontiSuReso && c.st.lastWasReturn) {
    c.st.lastWasReturn = false;
    return !surcharge;
  }
  return surcharge;
}

std::string TwoDecimals(const std::string& number) {
  size_t dot = number.find('.');
  if (dot == std::string::npos) return number + ".00";
  std::string fraction = number.substr(dot + 1);
  fraction.resize(2, '0');
  return number.substr(0, dot) + "." + fraction;
}

// The departments 1 to 20 have a name, compared as texts.
bool IsDepartmentName(const std::string& n) {
  if (n.size() == 1) return n[0] >= '1' && n[0] <= '9';
  return n.size() == 2 && ((n[0] == '1' && n[1] >= '0' && n[1] <= '9') || n == "20");
}

// An adjustment's command head: "3101", the direction, the department.
std::string AdjustmentHead(const LineContext& c, bool surcharge) {
  std::string command;
  command.reserve(48);
  command += "3101";
  command += surcharge ? '2' : '3';
  command += c.st.lastDepartment;
  return command;
}

// The adjustment's description becomes the last one, 22 characters wide.
const std::string& SetDescription(LineContext& c, const std::string& description) {
  c.st.description.clear();
  AppendPadded(c.st.description, description, 22);
  return c.st.description;
}

// The line that prints quantity times price before the item; false when
// its text is too long for one.
bool AppendQuantityLine(LineContext& c, const std::string& q, const std::string& p) {
  const std::string text = " " + StripLeadingZeros(DecimalForPrint(q)) + " X " + StripLeadingZeros(PriceForPrint(p));
  if (TooLong(c, text)) return false;
  c.out.push_back("30021" + Len2(text) + text);
  return true;
}

// "3101" and the kind of the item: a sale, a return or one of the voids.
void AppendItemKind(LineContext& c, std::string& command) {
  command += "3101";
  if (c.ls.returnMarked) {
    command += '9';
    c.st.lastWasReturn = true;
  } else if (c.ls.voidMarked) {
    command += (c.ls.voidKind == 1 || c.ls.voidKind == 2) ? 'F' : c.ls.voidKind == 3 ? 'G' : '4';
  } else {
    command += '1';
    c.st.lastWasReturn = false;
  }
}

// A SALE prints the kept description (its department's name when it names
// one), a PLUD the text it brings, if any.
void AppendItemDescription(LineContext& c, bool sale, const std::string& n, std::string& command) {
  ConversionState& st = c.st;
  if (sale) {
    if (IsDepartmentName(n)) {
      st.description.assign("REPARTO ");
      st.description += n;
      st.description.resize(22, ' ');
    }
    command += "22";
    AppendPadded(command, st.description, 22);
    return;
  }
  std::string text;
  if (c.Field(",:", &text)) {
    SetDescription(c, text);
    CleanInPlace(st.description);
    command += "22";
    command += st.description;
  }
}

// The price, times the quantity when there is one, and the display line;
// false (the document refused) when nine digits cannot hold it.
bool AppendItemAmount(LineContext& c, const std::string& p, bool withQuantity, double quantity,
                      std::string& command) {
  ConversionState& st = c.st;
  double price = 0;
  ParseNumber(p, &price);
  double amount = withQuantity ? price * quantity : price;
  if (!FitsAmount9(amount)) {
    c.abort = true;
    return false;
  }
  st.lastAmount = NumberText(amount);
  command += Amount9(amount);
  // The printed item keeps its department name; the display shows what
  // happened to it.
  if (c.ls.returnMarked)
    st.description = PadRight("RESO", 22);
  else if (c.ls.voidMarked)
    st.description = PadRight("STORNO", 22);
  if (!c.ctx.options.chkDisableDisplay)
    c.ls.display = "7007" + AmountDisplayText(st.description, 22, amount, c.ctx.decimalSeparator);
  return true;
}

}  // namespace

bool TwoDigits(const std::string& number, std::string* out) {
  double v = 0;
  ParseNumber(number, &v);
  long long n = std::llround(v);
  if (n < 0 || n > 99) return false;
  *out = std::string(1, char('0' + n / 10)) + char('0' + n % 10);
  return true;
}

bool Amount(LineContext& c, const std::string& text, double* cents) {
  *cents = 0;
  ParseNumber(text, cents);
  if (FitsAmount9(*cents)) return true;
  c.abort = true;
  return false;
}

void ConvertVoidMarker(LineContext& c) {
  struct Mark {
    const char* marker;
    int kind;
    const char* text;
  };
  static const Mark kMarks[] = {
      {",S1", 1, "STORNO ACCONTO"},
      {",S3", 3, "STORNO OMAGGIO"},
      {",S2", 2, "STORNO BUONO CORRISP."},
      {",S", 0, "STORNO"},
  };
  // Every line is searched: without ",S" none of the marks can be there.
  if (!c.HasField(",S")) return;
  for (const Mark& m : kMarks) {
    if (!c.HasField(m.marker)) continue;
    c.ls.voidMarked = true;
    c.ls.voidKind = m.kind;
    const std::string text = m.text;
    c.ls.command = "30021" + Len2(text) + text;
    c.out.push_back(c.ls.command);
    return;
  }
}

void ConvertSubtotal(LineContext& c) {
  if (c.verb.Is("SUBT")) c.ls.command = "3003";
}

void ConvertReturnMarker(LineContext& c) {
  if (c.st.referencedDocument || !c.HasField(",R")) return;
  c.ls.returnMarked = true;
  c.ls.command = "3002104RESO";
  c.out.push_back(c.ls.command);
}

void ConvertItem(LineContext& c) {
  const bool sale = c.verb.Is("SALE");
  if (!sale && !c.verb.Is("PLUD")) return;
  ConversionState& st = c.st;
  st.itemsSold = true;

  std::string q, p, n;
  const bool hasQ = c.Field(",Q", &q);
  const bool hasP = c.Field(",P", &p);
  const bool hasN = c.Field(",N", &n);

  const bool withQuantity = hasQ && q != "1";
  double quantity = 0;
  if (withQuantity) {
    ParseNumber(q, &quantity);
    if (!AppendQuantityLine(c, q, p)) return;
  }

  std::string command;
  command.reserve(48);
  AppendItemKind(c, command);
  if (hasN) {
    // A department that does not fit two digits refuses the document.
    std::string d2;
    if (!TwoDigits(n, &d2)) {
      c.abort = true;
      return;
    }
    st.lastDepartment = d2;
    command += d2;
  }
  AppendItemDescription(c, sale, n, command);
  if (hasP && !AppendItemAmount(c, p, withQuantity, quantity, command)) return;
  c.ls.command = std::move(command);
}

void ConvertItemPercent(LineContext& c, bool surcharge) {
  surcharge = Direction(c, surcharge);
  std::string command = AdjustmentHead(c, surcharge);
  std::string pct;
  if (c.Field(",%", &pct)) {
    std::string text;
    if (!c.Field(",:", &text)) text = (surcharge ? "MAGG. ARTICOLO " : "SCONTO ART ") + TwoDecimals(pct) + "%";
    const std::string& description = SetDescription(c, text);
    double value = PercentValue(c.st.lastAmount, pct);
    if (!FitsAmount9(value)) {
      c.abort = true;
      return;
    }
    c.st.lastAmount = NumberText(value);
    command += "22" + description + Amount9(value);
    if (!c.ctx.options.chkDisableDisplay)
      c.ls.display = "7007" + PercentDisplayText(description, DecimalForPrint(pct));
  }
  c.ls.command = std::move(command);
}

void ConvertSubtotalPercent(LineContext& c, bool surcharge) {
  std::string pct, text;
  if (!c.Field(",%", &pct)) return;
  std::string command = (surcharge ? "MOST%" : "DOST%") + pct.substr(std::min(pct.find_first_not_of(' '), pct.size()));
  if (c.Field(",:", &text)) command += "," + text;
  c.ls.command = command;
}

void ConvertItemValue(LineContext& c, bool surcharge) {
  surcharge = Direction(c, surcharge);
  std::string command = AdjustmentHead(c, surcharge);
  std::string v;
  if (c.Field(",V", &v)) {
    std::string text;
    if (!c.Field(",:", &text)) text = surcharge ? "MAGG. ART." : "SCONTO VALORE";
    const std::string& description = SetDescription(c, text);
    double amount = 0;
    if (!Amount(c, v, &amount)) return;
    command += "22" + description + Amount9(amount);
    if (!c.ctx.options.chkDisableDisplay)
      c.ls.display = "7007" + ValueDisplayText(description, surcharge ? 3 : 2, amount, c.ctx.decimalSeparator);
  }
  c.ls.command = command;
}

void ConvertSubtotalValue(LineContext& c, bool surcharge) {
  std::string command = surcharge ? "30012" : "30013";
  std::string v;
  if (c.Field(",V", &v)) {
    std::string text;
    if (!c.Field(",:", &text)) text = surcharge ? "MAGG. SBTL" : "SCONTO SBTL";
    const std::string& description = SetDescription(c, text);
    double amount = 0;
    if (!Amount(c, v, &amount)) return;
    command += "22" + description + Amount9(amount);
    if (!c.ctx.options.chkDisableDisplay)
      c.ls.display = "7007" + ValueDisplayText(description, 3, amount, c.ctx.decimalSeparator);
  }
  c.ls.command = command;
}

}  // namespace convert
