// Payments of a receipt, the customer's tax code and lottery code, and the
// invoice opened by OPFS and closed by CLFS.
#include <cmath>

#include "convert/format.h"
#include "convert/state.h"

namespace convert {
namespace {

const char kNoAmount[] = "000000000";

// Every payment line: the receipt is paid, and a held-back tax code goes to
// the printer now, before the payment.
void CommonStart(LineContext& c) {
  c.st.facts.paymentSeen = true;
  FlushTaxCode(c);
}

struct Payment {
  std::string tender;       // extended tender code
  std::string description;
  bool* due;
  bool otherKind;           // BANC, TEND, TICK
  bool writeCommand;        // TICK without extended payments has none
};

void Pay(LineContext& c, const Payment& p) {
  const bool extended = c.ctx.options.chbPagamentiEstesi;
  const std::string nn = Len2(p.description);
  auto command = [&](const std::string& amount) {
    return extended ? "3007" + p.tender + nn + p.description + amount : "3004" + nn + p.description + amount;
  };
  std::string v;
  std::string display;
  if (c.Field(",V", &v) && !c.st.referencedDocument) {
    double cents = 0;
    if (!Amount(c, v, &cents)) return;
    if (p.writeCommand) c.ls.command = command(Amount9(cents));
    display = AmountDisplayText(p.description, 20, cents, c.ctx.decimalSeparator);
  } else {
    // The remaining total is paid; the transmission shows it afterwards.
    *p.due = true;
    if (c.ctx.printer.rtMode && c.st.referencedDocument) {
      if (p.otherKind) c.st.facts.cashDue = true;
    } else if (p.writeCommand) {
      c.ls.command = command(kNoAmount);
    }
    display = PadRight(p.description, 40);
  }
  c.ls.display = "7007" + display;
}

std::string TextOr(const LineContext& c, const char* fallback) {
  std::string text;
  if (!c.Field(",:", &text)) text = fallback;
  return text;
}

void Credit(LineContext& c) {
  std::string t, v;
  const bool hasT = c.Field(",T", &t);
  double cents = 0;
  const bool hasV = c.Field(",V", &v);
  if (hasV && !Amount(c, v, &cents)) return;
  const std::string amount = hasV ? Amount9(cents) : kNoAmount;

  std::string description = "CREDITO";
  if (c.ctx.printer.rtMode && hasT) {
    double number = 0;
    ParseNumber(t, &number);
    const double type = std::trunc(number);
    // Types 2 to 6; any other is goods not collected.
    static const struct {
      const char* description;
      const char* tender;
      bool ownText;  // the line's text may stand in for the description
    } kTypes[] = {{"NON RISCOSSO BENI", "0700", false},    {"NON RISCOSSO SERVIZI", "5000", false},
                  {"NON RISCOSSO FATTURE", "5100", false}, {"NON RISCOSSO DCRSSN", "5200", false},
                  {"SCONTO A PAGARE", "5300", true},       {"BUONO CORRISPETTIVO", "5300", true}};
    const auto& k = kTypes[type >= 2 && type <= 6 ? size_t(type) - 1 : 0];
    description = k.ownText ? TextOr(c, k.description) : k.description;
    c.ls.command = "3007" + std::string(k.tender) + Len2(description) + description + amount;
  } else {
    c.ls.command = "300507CREDITO" + amount;
  }
  c.ls.display = "7007" + (hasV ? AmountDisplayText(description, 20, cents, c.ctx.decimalSeparator)
                                : PadRight("CREDITO", 40));
}

// Tender numbers 2 to 30 are payments, compared as texts.
bool IsTenderNumber(const std::string& n) {
  for (int t = 2; t <= 30; ++t)
    if (n == std::to_string(t)) return true;
  return false;
}

}  // namespace

void ConvertPayments(LineContext& c) {
  ConversionState& st = c.st;
  const std::string& line = c.line;

  if (c.verb.Is("CASH") || IsTenderSynonym(line, '1')) {
    CommonStart(c);
    Pay(c, {"0100", "CONTANTI", &st.facts.cashDue, false, true});
  }
  if (c.verb.Is("CHEQ") || IsTenderSynonym(line, '2')) {
    CommonStart(c);
    Pay(c, {"0200", "ASSEGNI", &st.facts.chequeDue, false, true});
  }
  if (c.verb.Is("CRED")) {
    CommonStart(c);
    if (!st.referencedDocument) Credit(c);
  }
  if (c.verb.Is("CARD") || IsTenderSynonym(line, '3')) {
    CommonStart(c);
    Pay(c, {"0300", "CARTA DI CREDITO", &st.facts.cardDue, false, true});
  }
  if (c.verb.Is("BANC")) {
    CommonStart(c);
    st.facts.paymentText = TextOr(c, "BANCOMAT");
    Pay(c, {"0800", st.facts.paymentText, &st.facts.otherDue, true, true});
  }
  if (c.verb.Is("TEND")) {
    CommonStart(c);
    std::string n;
    if (c.Field(",N", &n) && IsTenderNumber(n)) {
      const std::string tender = (n.size() < 2 ? "0" + n : n) + "00";
      st.facts.paymentText = TextOr(c, ("PAGAM. N." + n).c_str());
      Pay(c, {tender, st.facts.paymentText, &st.facts.otherDue, true, true});
    }
  }
  if (c.verb.Is("TICK")) {
    CommonStart(c);
    st.facts.paymentText = TextOr(c, "BUONO PASTO");
    std::string q, count = "00";
    // The count only goes into the extended command.
    if (c.ctx.options.chbPagamentiEstesi && c.Field(",Q", &q) && !TwoDigits(q, &count)) {
      c.abort = true;
      return;
    }
    Pay(c, {"05" + count, st.facts.paymentText, &st.facts.otherDue, true, c.ctx.options.chbPagamentiEstesi});
  }
}

void ConvertLottery(LineContext& c) {
  std::string code;
  if (!c.verb.Is("LOTT,") || !c.Field(",C", &code)) return;
  if (code.find('[') != std::string::npos) code.erase(0, 1);
  if (code.find(']') != std::string::npos) code.pop_back();
  if (code.size() == 8) c.out.push_back("301908" + code);
}

void ConvertInvoice(LineContext& c) {
  ConversionState& st = c.st;
  if (c.verb.Is("OPFS")) {
    std::string v;
    if (c.Field(",V", &v)) {
      double total = 0;
      const bool numeric = ParseNumber(v, &total);
      // The adapter's own sum stands in for a missing total.
      if ((numeric && total == 0) || (!numeric && c.ctx.options.OptFiscal()))
        total = static_cast<double>(st.adapterInvoiceTotal);
      if (!FitsAmount9(total)) {
        c.abort = true;
        return;
      }
      st.invoiceAmount = Amount9(total);
      if (c.HasField(",A") || c.ctx.options.chkForzaIntestazioneFattura)
        st.invoiceHeader = true;
    }
    st.facts.invoiceMode = true;
    st.invoiceTextMode = true;
    st.invoiceTotalPending = true;
    std::string command = "400121" + st.invoiceAmount;
    if (st.invoiceHeader) {
      c.out.push_back(command);
      st.invoiceHeader = false;
      command = "4002";
    }
    c.ls.command = command;
  }

  if (c.verb.Is("CLFS") && st.facts.invoiceMode && st.invoiceTotalPending) {
    st.facts.invoiceMode = false;
    st.invoiceTotalPending = false;
    c.out.push_back("4003F19TOTALE FATTURE EURO" + st.invoiceAmount);
    c.ls.command = "4006";
  }
}

void FlushTaxCode(LineContext& c) {
  if (!c.st.pendingTaxCode.empty() && c.ctx.options.chkCodFisc) {
    c.out.push_back(kBlankCustomerLine);
    c.out.push_back(c.st.pendingTaxCode);
    c.out.push_back(kBlankCustomerLine);
  }
  c.st.pendingTaxCode.clear();
}

bool ApplyTaxCodeRule(LineContext& c, const std::string& text) {
  if ((text.size() != 16 && text.size() != 11) || !c.ctx.options.chkCodFisc || c.st.facts.invoiceMode) return false;
  if (!c.nextLine) return false;
  std::string next = *c.nextLine;
  for (char& ch : next)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
  if (next.find("FUNC,N39") == std::string::npos) return false;
  const int kind = c.ctx.printer.taxCodeKind;
  if (kind == 3 || kind == 2 || kind == 4) {
    c.st.pendingTaxCode = std::string("3010") + (kind == 3 ? "B" : "F") + Len2(text) + text;
    return false;
  }
  // A printer that takes no tax code: the code is not printed at all.
  return true;
}

}  // namespace convert
