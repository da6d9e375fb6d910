// OPFS adapter: an invoice document is rewritten as print lines of fixed
// width (items, adjustments, payments, VAT summary, customer heading) that
// the converter then prints between the invoice opening and its closing.
#include "adapters/opfs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "adapters/normalise.h"
#include "language/language.h"
#include "language/text_value.h"

namespace adapters {
namespace {

__extension__ typedef __int128 Wide;

const int kPrintWidth = 32;
const int kTextWidth = kPrintWidth - 2;
const int kGroups = 5;
// Bigger values are no amounts a till can print; refusing them keeps every
// sum and product inside 64 bits.
const long long kValueLimit = 10000000000000LL;  // 10^13

// Run-time error numbers of the failing steps that go to the trace.
const int kErrOverflow = 6;
const int kErrTypeMismatch = 13;

bool IsVerb(const std::string& line, const char* verb) { return language::HasVerb(line, verb); }

bool Field(const std::string& line, const char* marker, std::string* value) {
  return language::FindField(false, value, line, marker);
}

// Rounds num / den to an integer, ties to the even neighbour.
Wide DivideHalfEven(Wide num, Wide den) {
  if (den < 0) num = -num, den = -den;
  Wide q = num / den, r = num % den;
  if (r < 0) q -= 1, r += den;  // floor division, 0 <= r < den
  Wide twice = 2 * r;
  if (twice > den || (twice == den && (q % 2 != 0))) q += 1;
  return q;
}

// Cents of a decimal amount, ties to even, kept inside 64 bits.
long long RoundCents(double cents) {
  if (!(cents > -9e18 && cents < 9e18)) return 0;
  return (long long)std::nearbyint(cents);
}

enum class Num { kOk, kMissing, kBad, kOverflow };

// A decimal number ("12", "1.5", "-0.25") scaled by 10^decimals and rounded
// to an integer, ties to even.
Num ParseScaled(const std::string& raw, int decimals, long long* out) {
  std::string s(language::Trimmed(raw));
  if (s.empty()) return Num::kMissing;
  size_t i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
  long long limit = kValueLimit;
  for (int d = 0; d < decimals; ++d) limit *= 10;
  long long value = 0;
  int digits = 0, fraction = -1;
  int roundDigit = 0;   // the first digit past the scale
  bool sticky = false;  // any non-zero digit after that one
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.' && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (c < '0' || c > '9') return Num::kBad;
    ++digits;
    if (fraction >= 0 && fraction++ >= decimals) {
      if (fraction == decimals + 1) roundDigit = c - '0';
      else sticky = sticky || c != '0';
      continue;
    }
    value = value * 10 + (c - '0');
    if (value >= limit) return Num::kOverflow;
  }
  if (digits == 0) return Num::kBad;
  // Whole numbers are checked against the limit of their integer part only:
  // scaling them up may still leave it (and 64 bits).
  for (int f = fraction < 0 ? 0 : fraction; f < decimals; ++f) {
    if (value >= limit / 10) return Num::kOverflow;
    value *= 10;
  }
  if (roundDigit > 5 || (roundDigit == 5 && (sticky || value % 2 != 0))) ++value;
  if (value >= limit) return Num::kOverflow;
  *out = negative ? -value : value;
  return Num::kOk;
}

// "0012" -> "12", "1.50" -> "1.5": the number as the register would show it.
std::string NumericText(const std::string& raw) {
  std::string s(language::Trimmed(raw)), sign;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    if (s[0] == '-') sign = "-";
    s.erase(0, 1);
  }
  std::string whole = s, fraction;
  size_t dot = s.find('.');
  if (dot != std::string::npos) whole = s.substr(0, dot), fraction = s.substr(dot + 1);
  whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
  if (whole.empty()) whole = "0";
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = whole + (fraction.empty() ? "" : "." + fraction);
  return text == "0" ? text : sign + text;
}

// Cents as euros with a decimal comma: 1234 -> "12,34", 5 -> "0,05".
std::string Euros(long long cents) { return language::FormatCents(cents, ','); }

// Label on the left, amount on the right, exactly the text width; a label
// that does not fit is cut on the right.
std::string TwoColumns(const std::string& label, const std::string& amount) {
  size_t room = amount.size() < size_t(kTextWidth) ? kTextWidth - amount.size() : 0;
  return language::PadRight(label, room) + amount;
}

std::string PrintTwoColumns(const std::string& label, long long cents, const std::string& tail = " ;") {
  return "PRNT,:" + TwoColumns(label, Euros(cents)) + tail;
}

struct Tender {
  const char* label;
  const char* totalLabel;
  bool paid;
};

const Tender* PaymentKind(const std::string& line) {
  static const Tender kCash = {"CONTANTI", "TOT. FATTURA EURO", true};
  static const Tender kCheque = {"ASSEGNI", "TOTALE FATTURA EURO", true};
  static const Tender kCard = {"CARTA CRED.", "TOTALE FATTURA EURO", true};
  static const Tender kDebit = {"BANCOMAT", "TOTALE FATTURA EURO", true};
  static const Tender kCredit = {"CREDITO", "TOTALE FATTURA EURO", false};
  static const Tender kTicket = {"TICKET", "TOTALE FATTURA EURO", false};
  if (IsVerb(line, "CASH") || language::IsTenderSynonym(line, '1')) return &kCash;
  if (IsVerb(line, "CHEQ") || language::IsTenderSynonym(line, '2')) return &kCheque;
  if (language::IsTenderSynonym(line, '3') || IsVerb(line, "CARD")) return &kCard;
  if (language::IsTenderSynonym(line, '4')) return &kDebit;
  if (IsVerb(line, "CRED")) return &kCredit;
  if (IsVerb(line, "TICK")) return &kTicket;
  return nullptr;
}

const std::string kBlankLine = "PRNT,:" + std::string(kPrintWidth, ' ') + ";";

// One conversion: the running values and the lines written so far.
class Invoice {
 public:
  Invoice(const settings::VatTable& vat, const settings::DateTime& now, std::vector<std::string>* traceLines)
      : vat_(vat), now_(now), traceLines_(traceLines), customers_(4) {}

  // False when the document cannot be converted (a VAT rate not in the
  // table); the lines written so far stay in `out`.
  bool Line(const std::string& raw) {
    std::string line = Field(raw, "OPFS", nullptr) ? raw : NormaliseLine(raw, kTextWidth);

    if (IsVerb(line, "OPFS")) {
      OpfsLine(line);
    } else if (IsVerb(line, "OPER")) {
      if (headingPending_) Heading();
      std::string op;
      if (Field(line, ",C", &op)) {
        if (op.size() < 2) op.insert(0, 2 - op.size(), '0');
        out_.push_back("PRNT,:OPERATORE N. " + op.substr(0, 2));
      }
    } else if (IsVerb(line, "CLFS")) {
      headingPending_ = false;
    } else if (IsVerb(line, "DATE")) {
      std::string text;
      if (Field(line, ",:", &text)) {
        out_.push_back("PRNT,:" + text);
        ColumnHeading();
        headingPending_ = false;
      } else if (headingPending_) {
        Heading();
      }
    } else if (IsVerb(line, "PLUD") || IsVerb(line, "SALE")) {
      if (headingPending_) Heading();
      return Item(line);
    } else if (IsVerb(line, "COUP")) {
      Adjustment(line, "SCONTO SU ITEM", -1, nullptr);
    } else if (IsVerb(line, "COST")) {
      Adjustment(line, "SCONTO SU SUBT.", -1, &subtotalDiscounts_);
    } else if (IsVerb(line, "ADDI")) {
      Adjustment(line, "MAGG. SU ITEM", 1, nullptr);
    } else if (IsVerb(line, "ADDS")) {
      Adjustment(line, "MAGG. SU SUBT.", 1, &subtotalSurcharges_);
    } else if (const Tender* tender = PaymentKind(line)) {
      Payment(line, *tender);
    } else if (IsVerb(line, "PRNT,")) {
      if (firstPayment_) out_.push_back(line);
    } else if (IsVerb(line, "EXTL,")) {
      std::string text;
      Field(line, ",:", &text);
      customers_.push_back(language::PadRight(text, kTextWidth));
    }
    return true;
  }

  void End() {
    out_.push_back(kBlankLine);
    out_.push_back(PrintTwoColumns("CORRISP. PAGATO", paid_));
    out_.push_back(PrintTwoColumns("CORRISP. NON PAGATO", notPaid_));
    out_.push_back(kBlankLine);
    SpreadSubtotalAdjustments();
    VatSummary();
    out_.push_back(kBlankLine);
    out_.push_back("PRNT,: --- Intestazione Cliente ---;");
    for (const std::string& customer : customers_) out_.push_back("PRNT,:" + customer + " ;");
    out_.push_back("CLFS;");
  }

  // A stated total of zero stands for "not stated": the converter takes
  // this total whenever the OPFS line's ",V" is zero.
  long long Total() const { return hasStated_ && stated_ != 0 ? stated_ : running_; }
  std::vector<std::string>& out() { return out_; }

  void Trace(int number, const std::string& text) {
    if (traceLines_)
      traceLines_->push_back(" --> ConvertFatturaSuScontrino: " + std::to_string(number) + " - " + text);
  }

 private:
  // The field as a scaled number; a bad or oversized value is traced and
  // then treated as missing.
  bool Number(const std::string& line, const char* marker, int decimals, long long* value) {
    std::string text;
    if (!Field(line, marker, &text)) return false;
    switch (ParseScaled(text, decimals, value)) {
      case Num::kOk: return true;
      case Num::kMissing: return false;
      case Num::kBad: Trace(kErrTypeMismatch, "Type mismatch"); return false;
      case Num::kOverflow: Trace(kErrOverflow, "Overflow"); return false;
    }
    return false;
  }
  // Adds to a running value unless the sum leaves the 64-bit range.
  bool Add(long long& acc, long long v) {
    long long sum;
    if (__builtin_add_overflow(acc, v, &sum)) {
      Trace(kErrOverflow, "Overflow");
      return false;
    }
    acc = sum;
    return true;
  }

  void OpfsLine(const std::string& line) {
    std::string text;
    if (Field(line, ",N", &text)) {
      long long ignored;
      if (ParseScaled(text, 3, &ignored) == Num::kOk) number_ = NumericText(text);
      else number_ = "1";
    }
    bool hasV = Field(line, ",V", &text);
    if (hasV) hasStated_ = Number(line, ",V", 0, &stated_);
    const char* markers[4] = {",:", ",<", ",=", ",>"};
    for (int i = 0; i < 4; ++i)
      if (Field(line, markers[i], &text)) customers_[size_t(i)] = text.substr(0, kTextWidth);
    if (!hasV && !line.empty() && line.back() == ';')
      out_.push_back(line.substr(0, line.size() - 1) + ",V0;");
    else
      out_.push_back(line);
    out_.push_back("PRNT,:FATTURA Num. " + number_ + ",H1;");
    headingPending_ = true;
  }

  void Heading() {
    char date[64];
    const settings::DateTime& t = now_;
    std::snprintf(date, sizeof date, "%02d-%02d-%04d   %02d:%02d", t.day, t.month, t.year, t.hour, t.minute);
    out_.push_back(std::string("PRNT,:") + date + ";");
    ColumnHeading();
    headingPending_ = false;
  }

  void ColumnHeading() {
    out_.push_back("PRNT,:" + std::string(26, ' ') + "EURO;");
    out_.push_back(kBlankLine);
  }

  bool Item(const std::string& line) {
    long long rate = 0, price = 0, quantity = 1000;
    Number(line, ",I", 2, &rate);
    std::string description = "  ";
    Field(line, ",:", &description);
    std::string quantityText;
    if (Field(line, ",Q", &quantityText)) {
      quantityText = std::string(language::Trimmed(quantityText));
      if (!Number(line, ",Q", 3, &quantity)) quantity = 1000, quantityText = "1";
    } else {
      quantityText = "1";
    }
    Number(line, ",P", 0, &price);
    for (char& c : quantityText)
      if (c == '.') c = ',';
    out_.push_back("PRNT,:" + quantityText + "    X    " + Euros(price));

    Wide exact = DivideHalfEven(Wide(price) * quantity, 1000);
    if (exact >= kValueLimit || exact <= -kValueLimit) {
      Trace(kErrOverflow, "Overflow");
      return true;
    }
    long long amount = (long long)exact;
    int group = -1;
    for (int slot = 0; slot < kGroups && group < 0; ++slot)
      if (vat_.slot[slot] == rate) group = slot;
    if (group < 0) return false;
    long long g = group_[group], r = running_, t = itemTotal_;
    if (!Add(g, amount) || !Add(r, amount) || !Add(t, amount)) return true;
    group_[group] = g, running_ = r, itemTotal_ = t;
    currentGroup_ = group;
    out_.push_back("PRNT,:" + TwoColumns(description, Euros(amount)) + " " + char('A' + group) + ";");
    return true;
  }

  void Adjustment(const std::string& line, const char* defaultLabel, long long sign, long long* subtotalSum) {
    if (currentGroup_ < 0) return;
    long long amount;
    if (!Number(line, ",V", 0, &amount)) return;
    std::string label = defaultLabel;
    Field(line, ",:", &label);
    long long r = running_;
    if (!Add(r, sign * amount)) return;
    if (subtotalSum) {
      long long s = *subtotalSum;
      if (!Add(s, amount)) return;
      *subtotalSum = s;
    } else {
      long long g = group_[currentGroup_];
      if (!Add(g, sign * amount)) return;
      group_[currentGroup_] = g;
    }
    running_ = r;
    out_.push_back(PrintTwoColumns(label, amount));
  }

  void Payment(const std::string& line, const Tender& tender) {
    if (firstPayment_) {
      out_.push_back(kBlankLine);
      out_.push_back(PrintTwoColumns(tender.totalLabel, Total(), ",H1;"));
      firstPayment_ = false;
    }
    std::string label = tender.label;
    Field(line, ",:", &label);
    long long amount;
    bool given = Number(line, ",V", 0, &amount);
    if (!given && __builtin_sub_overflow(running_, paid_, &amount)) {
      Trace(kErrOverflow, "Overflow");
      return;
    }
    if (tender.paid) {
      if (!Add(paid_, amount)) return;
    } else if (given) {
      if (!Add(notPaid_, amount)) return;
    } else {
      notPaid_ = amount;  // the rest still open
    }
    out_.push_back(PrintTwoColumns(label, amount));
  }

  void SpreadSubtotalAdjustments() {
    if (itemTotal_ == 0) return;
    Wide net = Wide(subtotalSurcharges_) - subtotalDiscounts_;
    for (long long& total : group_) {
      // Rounded to hundredths of a cent first and then to the cent, as the
      // register does; both steps tie to even.
      Wide num;
      if (__builtin_mul_overflow(net, Wide(total) * 100, &num)) {
        Trace(kErrOverflow, "Overflow");
        continue;
      }
      Wide share = DivideHalfEven(DivideHalfEven(num, itemTotal_), 100);
      if (share > INT64_MAX || share < INT64_MIN) {
        Trace(kErrOverflow, "Overflow");
        continue;
      }
      Add(total, (long long)share);
    }
  }

  void VatSummary() {
    double taxableSum = 0, vatSum = 0;
    for (int slot = 0; slot < kGroups; ++slot) {
      int group = 0;
      while (vat_.slot[group] != vat_.slot[slot]) ++group;
      // A rate that appears twice in the table is one group: print it once.
      if (group != slot || group_[group] <= 0) continue;
      long long rate = vat_.slot[group];
      if (10000 + rate <= 0) {
        Trace(kErrOverflow, "Overflow");
        continue;
      }
      std::string rateText = std::string(1, char('A' + group)) + "=" + Euros(rate) + "%";
      double taxable = double(group_[group]) * 10000.0 / double(10000 + rate);
      if (rate > 0) taxableSum += taxable;
      out_.push_back(PrintTwoColumns((rate > 0 ? "IMPONIBILE " : "ESENTE ") + rateText,
                                     RoundCents(taxable)));
      if (rate > 0) {
        double vat = double(group_[group]) - taxable;
        vatSum += vat;
        out_.push_back(PrintTwoColumns("IVA " + rateText, RoundCents(vat)));
      }
    }
    out_.push_back(kBlankLine);
    out_.push_back(PrintTwoColumns("TOT. IMPONIBILE ", RoundCents(taxableSum)));
    out_.push_back(PrintTwoColumns("TOT. IVA ", RoundCents(vatSum)));
  }

  const settings::VatTable& vat_;
  const settings::DateTime& now_;
  std::vector<std::string>* traceLines_;
  std::vector<std::string> out_;
  std::string number_ = "1";
  bool hasStated_ = false;
  long long stated_ = 0;
  long long running_ = 0, itemTotal_ = 0;
  long long subtotalDiscounts_ = 0, subtotalSurcharges_ = 0;
  long long group_[kGroups] = {};
  int currentGroup_ = -1;
  long long paid_ = 0, notPaid_ = 0;
  std::vector<std::string> customers_;
  bool headingPending_ = false;
  bool firstPayment_ = true;
};

}  // namespace

bool ConvertFatturaSuScontrino(const std::vector<std::string>& lines, const settings::VatTable& vat,
                               const settings::DateTime& now, long long* invoiceTotal,
                               std::vector<std::string>* out, std::vector<std::string>* traceLines) {
  Invoice invoice(vat, now, traceLines);
  bool ok = true;
  for (const std::string& line : lines) {
    if (!invoice.Line(line)) {
      ok = false;
      break;
    }
  }
  if (ok) invoice.End();
  *out = std::move(invoice.out());
  if (ok && invoiceTotal) *invoiceTotal = invoice.Total();
  return ok;
}

}  // namespace adapters
