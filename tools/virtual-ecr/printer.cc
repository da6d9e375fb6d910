// Command interpreter of the virtual printer: fiscal receipts, non-fiscal
// documents, invoices, reports and registers, with the paper they print.
#include "printer.h"

#include <algorithm>
#include <cstdio>

namespace vecr {

namespace {

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Digits at [pos, pos+len) as a number, or -1.
int64_t Number(const std::string& s, size_t pos, size_t len) {
  if (pos + len > s.size()) return -1;
  std::string part = s.substr(pos, len);
  if (!AllDigits(part)) return -1;
  return std::stoll(part);
}

// Zero-padded, keeping the lowest digits when the value is too wide.
std::string Digits(int64_t value, int width) {
  if (value < 0) value = 0;
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) > width) return s.substr(s.size() - width);
  return std::string(width - s.size(), '0') + s;
}

// Text fields are "NN" + text; the amount (A9) ends the command.
struct TextAmount {
  bool ok = false;
  std::string text;
  int64_t amount = 0;
};

TextAmount ParseTextAmount(const std::string& rest, bool amount_required) {
  TextAmount r;
  int64_t nn = Number(rest, 0, 2);
  if (nn < 0 || rest.size() < static_cast<size_t>(2 + nn)) return r;
  r.text = rest.substr(2, nn);
  std::string tail = rest.substr(2 + nn);
  if (tail.empty() && !amount_required) {
    r.ok = true;
    return r;
  }
  if (tail.size() != 9 || !AllDigits(tail)) return r;
  r.amount = std::stoll(tail);
  r.ok = true;
  return r;
}

std::string Err(const std::string& code) { return "ERR" + code; }

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

}  // namespace

std::string Money(int64_t cents) {
  std::string sign = cents < 0 ? "-" : "";
  int64_t v = cents < 0 ? -cents : cents;
  std::string frac = std::to_string(v % 100);
  if (frac.size() < 2) frac = "0" + frac;
  return sign + std::to_string(v / 100) + "," + frac;
}

Printer::Printer(PrinterConfig config, std::function<std::time_t()> clock)
    : config_(std::move(config)), clock_(std::move(clock)) {
  if (config_.serial.empty()) config_.serial = config_.mf ? "CU100001" : "99MEY012345";
}

std::time_t Printer::Now() const { return clock_() + static_cast<std::time_t>(state_.clock_offset); }

std::vector<std::string> Printer::TakePaper() {
  std::vector<std::string> out;
  out.swap(paper_);
  return out;
}

bool Printer::TakeChanged() {
  bool c = changed_;
  changed_ = false;
  return c;
}

std::string Printer::Status() const {
  if (!paper_out_) return status_;
  if (status_ == "10" || status_ == "12" || status_ == "11") return "11";
  if (status_ == "00") return "01";
  return status_;
}

void Printer::PaperOutAfter(int lines) {
  paper_left_ = lines;
  if (lines <= 0) {
    paper_out_ = true;
    paper_left_ = -1;
  }
}

void Printer::PaperIn() {
  paper_out_ = false;
  paper_left_ = -1;
  if (status_ == "01") status_ = "00";
  if (status_ == "11") status_ = "10";
}

void Printer::Print(const std::string& line) {
  paper_.push_back(line);
  if (recording_) receipt_lines_.push_back(line);
  if (paper_left_ > 0 && --paper_left_ == 0) {
    paper_out_ = true;
    paper_left_ = -1;
  }
}

void Printer::PrintRow(const std::string& left, const std::string& right) {
  std::string l = left.substr(0, kPaperWidth - right.size() - 1);
  Print(l + std::string(kPaperWidth - l.size() - right.size(), ' ') + right);
}

void Printer::PrintCentered(const std::string& text) {
  std::string t = text.substr(0, kPaperWidth);
  Print(std::string((kPaperWidth - t.size()) / 2, ' ') + t);
}

void Printer::PrintFooter(const std::string& title, int number) {
  std::time_t now = Now();
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%d-%m-%Y %H:%M", std::localtime(&now));
  PrintRow(stamp, title + " " + Digits(state_.closings + 1, 4) + "-" + Digits(number, 4));
  Print((config_.mf ? "MF " : "RT ") + config_.serial);
  Print(std::string(kPaperWidth, '='));
}

// Commands that put ink on paper; they are refused while the printer cannot
// print.
static bool Prints(const std::string& c) {
  if (c.empty()) return false;
  if (c[0] == '3' || c[0] == '4') return true;
  if (c.rfind("20", 0) == 0) return c.rfind("2001", 0) != 0;
  if (c.rfind("21", 0) == 0 || c.rfind("22", 0) == 0) return true;
  return c.rfind("1010", 0) == 0 || c.rfind("7106", 0) == 0 || c.rfind("7001", 0) == 0 ||
         c.rfind("7101", 0) == 0 || c.rfind("7102", 0) == 0 || c.rfind("7114", 0) == 0;
}

std::string Printer::Block(const std::string& code, const std::string& command) const {
  if (!Prints(command)) return "";
  std::string st = Status();
  if (st == "01") return Err("16");
  if (st == "10" || st == "11" || st == "12") return Err("37");
  if (st == "99") return Err("99");
  // A required fiscal closing still lets the closing itself and the
  // readings through.
  if (st == "54" && code[0] != '2') return Err("54");
  return "";
}

std::string Printer::Execute(const std::string& command) {
  if (state_.doc.keys && ReceiptBusy() && Prints(command)) return Err(kErrReceiptOpen);
  std::string code = command.substr(0, 4);
  std::string blocked = Block(code, command);
  if (!blocked.empty()) return blocked;
  std::string answer = Run(command);
  changed_ = true;  // cheap to save the state after every command
  return answer;
}

std::string Printer::ExecuteFromKeys(const std::string& command) {
  const bool ours = state_.doc.keys || !ReceiptBusy();
  state_.doc.keys = false;
  std::string answer = Execute(command);
  state_.doc.keys = ours && ReceiptBusy();
  return answer;
}

std::string Printer::Run(const std::string& c) {
  std::string code = c.substr(0, 4);
  if (code == "1009") return "1009" + Status();
  if (code == "1001") {
    std::time_t now = Now();
    char text[16];
    std::strftime(text, sizeof text, "%d%m%y%H%M", std::localtime(&now));
    return "1001" + std::string(text);
  }
  if (code == "1003") return Layout1003();
  if (code == "1004") return Layout1004();
  if (code == "1008") return "1008" + std::string(config_.mf ? "MF" : "RT") + Serial8();
  if (code == "1013") {
    return "1013FW " + config_.firmware + (config_.mf ? " MF" : " RT") + " VIRTUAL ECR";
  }
  if (code == "1015") return "1015" + config_.error99_text;
  // The count of closings, then the closings left in the fiscal memory.
  if (code == "1104") return "1104" + Digits(state_.closings, 4) + Digits(std::max(0, 2000 - state_.closings), 4);
  if (code == "1105") return "1105" + Digits(state_.grand_total, 10);
  if (code == "1214") return "1214" + std::string(1, config_.model_digit);
  if (code == "1511") return config_.mf ? Err(kErrUnsupported) : "1511" + Identification();
  if (code == "1010") return Close(code);
  if (code == "1109") {
    // Sent at the end of every job: a closed receipt gets its footer now.
    FinishPending();
    return code;
  }
  if (code == "2001") return SetDate(c);
  if (code[0] == '2') return Report(c);
  if (code == "3101") return Item(c);
  if (code == "3001") return Adjustment(c);
  if (code == "3004" || code == "3005" || code == "3007") return Payment(c);
  if (code == "3011") return Close(code);
  if (code == "3002" || code == "3012") {
    // h, NN, text. A text running past its length is printed whole, as the
    // program's own test receipt sends "3002106 STORNO".
    std::string rest = c.substr(std::min<size_t>(5, c.size()));
    TextAmount t = ParseTextAmount(rest, false);
    if (!t.ok && Number(rest, 0, 2) >= 0 && rest.size() > 2) {
      t.text = rest.substr(2);
      t.ok = true;
    }
    if (!t.ok) return Err(kErrSyntax);
    if (code == "3002") {
      if (state_.doc.kind != DocKind::kNone && state_.doc.kind != DocKind::kReceipt) return Err(kErrDocumentOpen);
      if (state_.doc.kind == DocKind::kNone || state_.doc.phase == Phase::kClosing) {
        FinishPending();
        OpenReceipt(ReceiptKind::kSale);
      }
    }
    Print(t.text);
    return code;
  }
  if (code == "3003") {
    if (!ReceiptBusy()) return "3003" + Digits(0, 9);
    PrintRow("SUBTOTALE", Money(state_.doc.total));
    return "3003" + Digits(state_.doc.total, 9);
  }
  if (code == "3010") {
    if (c.size() < 5) return Err(kErrSyntax);
    TextAmount t = ParseTextAmount(c.substr(5), false);
    if (!t.ok) return Err(kErrSyntax);
    if (state_.doc.kind == DocKind::kNone) OpenReceipt(ReceiptKind::kSale);
    char kind = c[4];
    if (kind == 'B' || kind == 'F') Print("CODICE FISCALE/P.IVA CLIENTE " + t.text);
    else if (kind == 'P') Print("RESO " + t.text);
    else Print(t.text);
    return code;
  }
  if (code == "3013") {
    FinishPending();
    return code;
  }
  if (code == "3017") {
    PrintCentered("*** LOGO ***");
    return code;
  }
  if (code == "3019") {
    TextAmount t = ParseTextAmount(c.substr(4), false);
    if (!t.ok) return Err(kErrSyntax);
    Print("CODICE LOTTERIA " + t.text);
    return code;
  }
  if (code == "3021") {
    if (c.rfind("30216000", 0) == 0) {
      TextAmount t = ParseTextAmount(c.substr(8), false);
      if (!t.ok) return Err(kErrSyntax);
      Print("[QR] " + t.text);
    } else {
      TextAmount t = ParseTextAmount(c.substr(std::min<size_t>(8, c.size())), false);
      if (!t.ok || c.size() < 8) return Err(kErrSyntax);
      Print("[BARCODE " + c.substr(4, 1) + "] " + t.text);
    }
    return code;
  }
  if (code[0] == '4') return NonFiscal(c);
  if (code == "7001") {
    // Paper feed: "70010n" feeds n lines, the rest are accepted silently.
    if (c.size() >= 6 && c[4] == '0') {
      for (int i = 0; i < c[5] - '0' && i < 9; ++i) Print("");
    }
    return code;
  }
  if (code == "7007") {
    display_ = c.substr(4);
    display_.resize(40, ' ');
    return code;
  }
  if (code == "7008") {
    ++drawer_openings_;
    return code;
  }
  if (code == "7101" || code == "7114" || code == "7102") return Reference(c);
  if (code == "7106") return CashMovement(c);
  // Unknown or harmless commands: the echo alone.
  return code;
}

std::string Printer::Serial8() const {
  const std::string& s = config_.serial;
  if (s.size() >= 8) return s.substr(s.size() - 8);
  return std::string(8 - s.size(), '0') + s;
}

// Identification: a kind letter, the 11-character serial at 2-12, the
// 8-character serial at 15-22, the model at 23-25 and the RT flag at 26.
std::string Printer::Identification() const {
  std::string serial = config_.serial;
  serial.resize(11, ' ');
  std::string id = "S" + serial + "  " + Serial8() + "CRT" + (config_.mf ? "0" : "1");
  return id + " VIRTUAL ECR";
}

// Receipt amounts: number at 5-8, open flag at 9, item count at 10-13, paid
// at 14-22, still due at 23-31, change at 32-40, sign at 41 and the amount at
// 42-50 (the running total while a receipt is open, else the last total).
std::string Printer::Layout1003() const {
  const OpenDocument& d = state_.doc;
  bool busy = ReceiptBusy();
  int64_t amount = busy ? d.total : state_.last_total;
  int64_t change = std::max<int64_t>(0, d.paid + d.not_paid - d.total);
  return "1003" + Digits(state_.receipt_number + (busy ? 1 : 0), 4) + (busy ? "1" : "0") +
         Digits(busy ? d.items : 0, 4) + Digits(busy ? d.paid : 0, 9) + Digits(busy ? Due() : 0, 9) +
         Digits(busy ? change : 0, 9) + (amount < 0 ? "-" : "+") + Digits(amount < 0 ? -amount : amount, 9);
}

std::string Printer::Layout1004() const {
  const FiscalState& s = state_;
  return "1004" + Digits(s.receipt_number, 4) + Digits(s.receipts_total, 9) + Digits(s.invoices_count, 4) +
         Digits(s.invoices_total, 9) + Digits(s.tickets_count, 4) + Digits(s.tickets_total, 9) +
         Digits(s.mf_count, 4) + Digits(s.surcharges, 9) + Digits(s.discounts, 9) + Digits(s.voids, 9) +
         Digits(s.returns, 9) + Digits(s.not_paid, 9);
}

bool Printer::ReceiptBusy() const {
  return state_.doc.kind == DocKind::kReceipt && state_.doc.phase != Phase::kClosing;
}

int64_t Printer::Due() const { return state_.doc.total - state_.doc.paid - state_.doc.not_paid; }

void Printer::OpenReceipt(ReceiptKind kind) {
  state_.doc = OpenDocument();
  state_.doc.kind = DocKind::kReceipt;
  state_.doc.receipt_kind = kind;
  receipt_lines_.clear();
  recording_ = true;
  Print(std::string(kPaperWidth, '='));
  PrintCentered(config_.header);
  PrintCentered("DOCUMENTO COMMERCIALE");
  if (kind == ReceiptKind::kReturn) PrintCentered("emesso per RESO MERCE");
  else if (kind == ReceiptKind::kCancel) PrintCentered("emesso per ANNULLAMENTO");
  else PrintCentered("di vendita o prestazione");
  PrintRow("DESCRIZIONE", "PREZZO(EURO)");
}

void Printer::FinishPending() {
  if (state_.doc.kind != DocKind::kReceipt || state_.doc.phase != Phase::kClosing) return;
  std::string title = state_.doc.cancelled ? "ANNULLATO N." : "DOC.N.";
  PrintFooter(title, state_.receipt_number);
  recording_ = false;
  last_receipt_lines_ = receipt_lines_;
  state_.doc = OpenDocument();
}

void Printer::Finalize() {
  OpenDocument& d = state_.doc;
  if (!d.cancelled) {
    if (!d.total_printed) PrintRow("TOTALE COMPLESSIVO", Money(d.total));
    if (Due() > 0) {
      // Closing without (enough) payment: the rest is cash.
      PrintRow("PAGAMENTO CONTANTE", Money(Due()));
      state_.cash += Due();
      d.paid += Due();
    }
    int64_t change = d.paid + d.not_paid - d.total;
    if (d.not_paid > 0) PrintRow("NON RISCOSSO", Money(d.not_paid));
    if (change > 0) {
      PrintRow("RESTO", Money(change));
      state_.cash -= change;
    }
  }
  ++state_.receipt_number;
  switch (d.receipt_kind) {
    case ReceiptKind::kSale:
      state_.receipts_total += d.total;
      state_.grand_total += d.total;
      break;
    case ReceiptKind::kReturn:
      state_.returns += d.total;
      break;
    case ReceiptKind::kCancel:
      state_.voids += d.total;
      break;
  }
  state_.surcharges += d.surcharges;
  state_.discounts += d.discounts;
  state_.voids += d.voids;
  state_.returns += d.returns;
  state_.not_paid += d.not_paid;
  for (int i = 0; i < 100; ++i) state_.departments[i] += d.departments[i];
  state_.last_total = d.total;
  d.phase = Phase::kClosing;
}

void Printer::Cancel() {
  OpenDocument& d = state_.doc;
  PrintRow("ANNULLO SCONTRINO", Money(-d.total));
  state_.voids += d.total;
  // Payments already taken are given back.
  state_.cash -= std::min(d.paid, d.total);
  ReceiptKind kind = d.receipt_kind;
  d = OpenDocument();
  d.kind = DocKind::kReceipt;
  d.receipt_kind = kind;
  d.cancelled = true;
  Finalize();
}

std::string Printer::Item(const std::string& c) {
  if (c.size() < 5) return Err(kErrSyntax);
  char kind = c[4];
  std::string rest = c.substr(5);
  if (kind == '8') {
    if (!ReceiptBusy()) return "3101";
    Cancel();
    return "3101";
  }
  // With or without the two department digits.
  int department = -1;
  TextAmount t;
  if (rest.size() >= 4 && AllDigits(rest.substr(0, 2))) {
    TextAmount with = ParseTextAmount(rest.substr(2), true);
    if (with.ok) {
      department = static_cast<int>(Number(rest, 0, 2));
      t = with;
    }
  }
  if (!t.ok) t = ParseTextAmount(rest, true);
  if (!t.ok && rest.size() == 2 && AllDigits(rest)) {
    // A bare adjustment without text or amount.
    department = static_cast<int>(Number(rest, 0, 2));
    t.ok = true;
  }
  if (!t.ok) return Err(kErrSyntax);

  int sign = 0;
  switch (kind) {
    case '1': case '2': sign = 1; break;
    case '3': case '4': case '9': case 'F': case 'G': sign = -1; break;
    default: return Err(kErrSyntax);
  }
  if (state_.doc.kind != DocKind::kNone && state_.doc.kind != DocKind::kReceipt) return Err(kErrDocumentOpen);
  // Once paying began the receipt only takes payments and its closing.
  if (ReceiptBusy() && state_.doc.phase == Phase::kPaying) return Err(kErrReceiptOpen);
  if (sign < 0 && (!ReceiptBusy() || state_.doc.total - t.amount < 0)) return Err(kErrNegative);
  if (!ReceiptBusy()) {
    FinishPending();
    OpenReceipt(ReceiptKind::kSale);
  }
  OpenDocument& d = state_.doc;
  d.total += sign * t.amount;
  if (kind == '1') ++d.items;
  if (kind == '2') d.surcharges += t.amount;
  if (kind == '3') d.discounts += t.amount;
  if (kind == '9') d.returns += t.amount;
  if (kind == '4' || kind == 'F' || kind == 'G') d.voids += t.amount;
  if (department >= 0 && department < 100) d.departments[department] += sign * t.amount;
  PrintRow(t.text, Money(sign * t.amount));
  return "3101";
}

std::string Printer::Adjustment(const std::string& c) {
  if (c.size() < 5) return Err(kErrSyntax);
  char kind = c[4];
  TextAmount t = ParseTextAmount(c.substr(5), true);
  if (!t.ok) return Err(kErrSyntax);
  if (kind == '8') {
    // Cancels the receipt in progress.
    if (ReceiptBusy()) Cancel();
    return "3001";
  }
  if (kind != '2' && kind != '3') return Err(kErrSyntax);
  if (!ReceiptBusy()) return Err(kErrState);
  if (state_.doc.phase == Phase::kPaying) return Err(kErrReceiptOpen);
  OpenDocument& d = state_.doc;
  if (kind == '3' && d.total - t.amount < 0) return Err(kErrNegative);
  int sign = kind == '2' ? 1 : -1;
  d.total += sign * t.amount;
  (kind == '2' ? d.surcharges : d.discounts) += t.amount;
  PrintRow(t.text, Money(sign * t.amount));
  return "3001";
}

std::string Printer::Payment(const std::string& c) {
  std::string code = c.substr(0, 4);
  std::string tender;
  std::string rest = c.substr(4);
  if (code == "3007") {
    if (rest.size() < 4) return Err(kErrSyntax);
    tender = rest.substr(0, 4);
    rest = rest.substr(4);
  }
  TextAmount t = ParseTextAmount(rest, true);
  if (!t.ok) return Err(kErrSyntax);
  // Answer: state at 5 ("0" paid in full), change at 6-14, still due at 15-23.
  auto answer = [&](int64_t change, int64_t due) {
    return code + (due > 0 ? "1" : "0") + Digits(change, 9) + Digits(due, 9);
  };
  if (!ReceiptBusy()) return answer(0, 0);
  OpenDocument& d = state_.doc;
  int64_t amount = t.amount;
  if (amount == 0) amount = std::max<int64_t>(0, Due());
  if (!d.total_printed) {
    PrintRow("TOTALE COMPLESSIVO", Money(d.total));
    d.total_printed = true;
  }
  PrintRow(t.text, Money(amount));
  bool not_collected = code == "3005" || tender.rfind("07", 0) == 0 || tender.rfind("5", 0) == 0;
  if (not_collected) {
    d.not_paid += amount;
  } else {
    d.paid += amount;
    std::string name = Trim(t.text);
    if (tender.rfind("01", 0) == 0 || (tender.empty() && name == "CONTANTI")) state_.cash += amount;
    else if (tender.rfind("02", 0) == 0 || (tender.empty() && name == "ASSEGNI")) state_.cheques += amount;
    else if (tender.rfind("03", 0) == 0 || (tender.empty() && name.rfind("CARTA", 0) == 0)) state_.cards += amount;
    else state_.other_payments += amount;
  }
  d.phase = Phase::kPaying;
  int64_t change = std::max<int64_t>(0, d.paid + d.not_paid - d.total);
  return answer(change, std::max<int64_t>(0, Due()));
}

std::string Printer::Close(const std::string& code) {
  if (ReceiptBusy()) Finalize();
  return code;
}

std::string Printer::Reference(const std::string& c) {
  std::string code = c.substr(0, 4);
  ReceiptKind kind = ReceiptKind::kReturn;
  if ((code == "7101" || code == "7114") && c.size() > 4 && c[4] == 'A') kind = ReceiptKind::kCancel;
  if (state_.doc.kind != DocKind::kNone && state_.doc.kind != DocKind::kReceipt) return Err(kErrDocumentOpen);
  if (ReceiptBusy() && state_.doc.items > 0) return Err(kErrReceiptOpen);
  if (!ReceiptBusy()) {
    FinishPending();
    OpenReceipt(kind);
  } else if (state_.doc.receipt_kind == ReceiptKind::kSale) {
    state_.doc.receipt_kind = kind;
  }
  if (code == "7102") {
    PrintCentered("RESO MERCE");
    return code;
  }
  Print("RIF. DOC. " + c.substr(4));
  // The acceptance digit: "0" accepted (the program treats "2" as refused).
  return code == "7101" ? "71010" : code;
}

std::string Printer::Report(const std::string& c) {
  if (ReceiptBusy()) return Err(kErrReceiptOpen);
  if (state_.doc.kind == DocKind::kNonFiscal || state_.doc.kind == DocKind::kInvoice) return Err(kErrDocumentOpen);
  FinishPending();
  std::string code = c.substr(0, 4);
  const FiscalState& s = state_;
  bool zero = c == "2002" || c == "2102" || c == "220202";
  bool reading = c == "2003" || c == "2103" || c == "220302";
  if (!zero && !reading) return code;
  Print(std::string(kPaperWidth, '='));
  PrintCentered(config_.header);
  if (c == "2002" || c == "2003") {
    PrintCentered(zero ? "CHIUSURA GIORNALIERA" : "LETTURA GIORNALIERA");
    if (zero) PrintRow("AZZERAMENTO N.", Digits(s.closings + 1, 4));
    PrintRow("DOCUMENTI COMMERCIALI", std::to_string(s.receipt_number));
    PrintRow("TOTALE DOCUMENTI", Money(s.receipts_total));
    PrintRow("FATTURE", std::to_string(s.invoices_count));
    PrintRow("TOTALE FATTURE", Money(s.invoices_total));
    PrintRow("MAGGIORAZIONI", Money(s.surcharges));
    PrintRow("SCONTI", Money(s.discounts));
    PrintRow("ANNULLI", Money(s.voids));
    PrintRow("RESI", Money(s.returns));
    PrintRow("NON RISCOSSO", Money(s.not_paid));
    PrintRow("GRAN TOTALE", Money(s.grand_total));
  } else if (code == "2102" || code == "2103") {
    PrintCentered(zero ? "AZZERAMENTO REPARTI" : "LETTURA REPARTI");
    for (int i = 0; i < 100; ++i) {
      if (s.departments[i] != 0) PrintRow("REPARTO " + std::to_string(i), Money(s.departments[i]));
    }
  } else {
    PrintCentered(zero ? "AZZERAMENTO FINANZIARIO" : "LETTURA FINANZIARIO");
    PrintRow("CONTANTI", Money(s.cash));
    PrintRow("ASSEGNI", Money(s.cheques));
    PrintRow("CARTE", Money(s.cards));
    PrintRow("ALTRI PAGAMENTI", Money(s.other_payments));
    PrintRow("VERSAMENTI", Money(s.deposits));
    PrintRow("PRELIEVI", Money(s.withdrawals));
  }
  std::time_t now = Now();
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%d-%m-%Y %H:%M", std::localtime(&now));
  Print(stamp);
  Print(std::string(kPaperWidth, '='));
  if (c == "2002") {
    ++state_.closings;
    state_.ResetDaily();
    // The closing is what a "closing required" status asks for.
    if (status_ == "54") status_ = "00";
  } else if (c == "2102") {
    for (auto& d : state_.departments) d = 0;
  } else if (c == "220202") {
    state_.cash = state_.cheques = state_.cards = state_.other_payments = 0;
    state_.deposits = state_.withdrawals = 0;
  }
  return code;
}

std::string Printer::NonFiscal(const std::string& c) {
  std::string code = c.substr(0, 4);
  OpenDocument& d = state_.doc;
  bool open = d.kind == DocKind::kNonFiscal || d.kind == DocKind::kInvoice;
  if (code == "4001") {
    if (ReceiptBusy()) return Err(kErrReceiptOpen);
    if (open) return Err(kErrDocumentOpen);
    FinishPending();
    bool invoice = c.size() > 4 && c[4] == '2';
    state_.doc = OpenDocument();
    if (invoice) {
      int64_t amount = Number(c, 6, 9);
      state_.doc.kind = DocKind::kInvoice;
      state_.doc.invoice_amount = amount < 0 ? 0 : amount;
      Print(std::string(kPaperWidth, '='));
      PrintCentered("FATTURA");
    } else {
      state_.doc.kind = DocKind::kNonFiscal;
      Print(std::string(kPaperWidth, '='));
      PrintCentered("DOCUMENTO GESTIONALE");
    }
    return code;
  }
  if (code == "4007") {
    // Reprint of the last receipt.
    if (ReceiptBusy()) return Err(kErrReceiptOpen);
    if (open) return Err(kErrState);
    FinishPending();
    PrintCentered("*** COPIA ***");
    for (const std::string& line : last_receipt_lines_) Print(line);
    PrintCentered("*** FINE COPIA ***");
    return code;
  }
  if (ReceiptBusy()) return Err(kErrReceiptOpen);
  if (!open) return Err(kErrState);
  if (code == "4002") {
    PrintCentered(config_.header);
    return code;
  }
  if (code == "4003") {
    if (c.size() < 5) return Err(kErrSyntax);
    if (c[4] == 'F') {
      TextAmount t = ParseTextAmount(c.substr(5), true);
      if (!t.ok) return Err(kErrSyntax);
      PrintRow(t.text, Money(t.amount));
      if (d.kind == DocKind::kInvoice && t.amount > 0) d.invoice_amount = t.amount;
      return code;
    }
    // h, then the length: two digits from the converter, no leading zeros
    // from the payment slip; the length that fits the rest wins.
    std::string rest = c.substr(5);
    std::string text = rest;
    for (size_t n = 1; n <= 3 && n <= rest.size(); ++n) {
      int64_t len = Number(rest, 0, n);
      if (len >= 0 && static_cast<size_t>(len) == rest.size() - n) {
        text = rest.substr(n);
        break;
      }
    }
    Print(text);
    return code;
  }
  if (code == "4004" || code == "4006") {
    std::time_t now = Now();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%d-%m-%Y %H:%M", std::localtime(&now));
    if (d.kind == DocKind::kInvoice) {
      ++state_.invoices_count;
      state_.invoices_total += d.invoice_amount;
      PrintRow(stamp, "FATTURA N. " + Digits(state_.invoices_count, 4));
    } else {
      ++state_.nonfiscal_number;
      PrintRow(stamp, "DOC. N. " + Digits(state_.nonfiscal_number, 4));
    }
    Print(std::string(kPaperWidth, '='));
    state_.doc = OpenDocument();
    return code;
  }
  return code;
}

std::string Printer::CashMovement(const std::string& c) {
  if (c.size() != 14 || (c[4] != 'D' && c[4] != 'P')) return Err(kErrSyntax);
  int64_t amount = Number(c, 5, 9);
  if (amount < 0) return Err(kErrSyntax);
  if (ReceiptBusy()) return Err(kErrReceiptOpen);
  if (state_.doc.kind == DocKind::kNonFiscal || state_.doc.kind == DocKind::kInvoice) return Err(kErrDocumentOpen);
  FinishPending();
  bool deposit = c[4] == 'D';
  (deposit ? state_.deposits : state_.withdrawals) += amount;
  state_.cash += deposit ? amount : -amount;
  ++state_.nonfiscal_number;
  Print(std::string(kPaperWidth, '='));
  PrintRow(deposit ? "VERSAMENTO" : "PRELIEVO", Money(amount));
  std::time_t now = Now();
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%d-%m-%Y %H:%M", std::localtime(&now));
  PrintRow(stamp, "DOC. N. " + Digits(state_.nonfiscal_number, 4));
  Print(std::string(kPaperWidth, '='));
  return "7106";
}

std::string Printer::SetDate(const std::string& c) {
  if (config_.refuse_date || Status() == "54") return Err("54");
  if (ReceiptBusy()) return Err(kErrReceiptOpen);
  std::string digits = c.substr(4);
  if (digits.size() != 10 || !AllDigits(digits)) return "20011";
  std::tm tm{};
  tm.tm_mday = static_cast<int>(Number(digits, 0, 2));
  tm.tm_mon = static_cast<int>(Number(digits, 2, 2)) - 1;
  tm.tm_year = 100 + static_cast<int>(Number(digits, 4, 2));
  tm.tm_hour = static_cast<int>(Number(digits, 6, 2));
  tm.tm_min = static_cast<int>(Number(digits, 8, 2));
  tm.tm_isdst = -1;
  if (tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_hour > 23 || tm.tm_min > 59) {
    return "20011";
  }
  std::tm check = tm;
  std::time_t target = std::mktime(&check);
  if (target == static_cast<std::time_t>(-1) || check.tm_mday != tm.tm_mday) return "20011";
  state_.clock_offset = static_cast<int64_t>(target - clock_());
  return "20010";
}

}  // namespace vecr
