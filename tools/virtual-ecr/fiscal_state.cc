// Keeps the virtual printer's fiscal memory in a key=value text file.
#include "fiscal_state.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace vecr {

void FiscalState::ResetDaily() {
  FiscalState fresh;
  receipt_number = fresh.receipt_number;
  receipts_total = invoices_total = tickets_total = 0;
  invoices_count = tickets_count = mf_count = 0;
  surcharges = discounts = voids = returns = not_paid = 0;
  cash = cheques = cards = other_payments = deposits = withdrawals = 0;
  for (auto& d : departments) d = 0;
}

namespace {

// One table drives both directions, so a field cannot be saved and forgotten.
struct Field {
  const char* key;
  int64_t* wide;
  int* narrow;
};

template <typename S>
std::vector<Field> Fields(S& s) {
  auto* m = const_cast<FiscalState*>(&s);
  std::vector<Field> f = {
      {"receipt_number", nullptr, &m->receipt_number},
      {"receipts_total", &m->receipts_total, nullptr},
      {"invoices_count", nullptr, &m->invoices_count},
      {"invoices_total", &m->invoices_total, nullptr},
      {"tickets_count", nullptr, &m->tickets_count},
      {"tickets_total", &m->tickets_total, nullptr},
      {"mf_count", nullptr, &m->mf_count},
      {"surcharges", &m->surcharges, nullptr},
      {"discounts", &m->discounts, nullptr},
      {"voids", &m->voids, nullptr},
      {"returns", &m->returns, nullptr},
      {"not_paid", &m->not_paid, nullptr},
      {"cash", &m->cash, nullptr},
      {"cheques", &m->cheques, nullptr},
      {"cards", &m->cards, nullptr},
      {"other_payments", &m->other_payments, nullptr},
      {"deposits", &m->deposits, nullptr},
      {"withdrawals", &m->withdrawals, nullptr},
      {"grand_total", &m->grand_total, nullptr},
      {"closings", nullptr, &m->closings},
      {"nonfiscal_number", nullptr, &m->nonfiscal_number},
      {"clock_offset", &m->clock_offset, nullptr},
      {"last_total", &m->last_total, nullptr},
      {"doc.total", &m->doc.total, nullptr},
      {"doc.paid", &m->doc.paid, nullptr},
      {"doc.not_paid", &m->doc.not_paid, nullptr},
      {"doc.surcharges", &m->doc.surcharges, nullptr},
      {"doc.discounts", &m->doc.discounts, nullptr},
      {"doc.voids", &m->doc.voids, nullptr},
      {"doc.returns", &m->doc.returns, nullptr},
      {"doc.items", nullptr, &m->doc.items},
      {"doc.invoice_amount", &m->doc.invoice_amount, nullptr},
  };
  return f;
}

}  // namespace

std::string SerializeState(const FiscalState& s) {
  std::ostringstream out;
  for (const Field& f : Fields(s)) {
    out << f.key << '=' << (f.wide ? *f.wide : static_cast<int64_t>(*f.narrow)) << '\n';
  }
  out << "doc.kind=" << static_cast<int>(s.doc.kind) << '\n';
  out << "doc.receipt_kind=" << static_cast<int>(s.doc.receipt_kind) << '\n';
  out << "doc.phase=" << static_cast<int>(s.doc.phase) << '\n';
  out << "doc.cancelled=" << (s.doc.cancelled ? 1 : 0) << '\n';
  out << "doc.total_printed=" << (s.doc.total_printed ? 1 : 0) << '\n';
  out << "doc.keys=" << (s.doc.keys ? 1 : 0) << '\n';
  for (int i = 0; i < 100; ++i) {
    if (s.departments[i] != 0) out << "department." << i << '=' << s.departments[i] << '\n';
  }
  for (int i = 0; i < 100; ++i) {
    if (s.doc.departments[i] != 0) out << "doc.department." << i << '=' << s.doc.departments[i] << '\n';
  }
  return out.str();
}

bool ParseState(const std::string& text, FiscalState& s) {
  std::istringstream in(text);
  std::string line;
  auto fields = Fields(s);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    std::string key = line.substr(0, eq);
    long long value = 0;
    if (std::sscanf(line.c_str() + eq + 1, "%lld", &value) != 1) return false;
    bool known = false;
    for (const Field& f : fields) {
      if (key == f.key) {
        if (f.wide) *f.wide = value; else *f.narrow = static_cast<int>(value);
        known = true;
      }
    }
    if (key == "doc.kind" && value >= 0 && value <= 3) {
      s.doc.kind = static_cast<DocKind>(value);
      known = true;
    } else if (key == "doc.receipt_kind" && value >= 0 && value <= 2) {
      s.doc.receipt_kind = static_cast<ReceiptKind>(value);
      known = true;
    } else if (key == "doc.phase" && value >= 0 && value <= 2) {
      s.doc.phase = static_cast<Phase>(value);
      known = true;
    } else if (key == "doc.cancelled") {
      s.doc.cancelled = value != 0;
      known = true;
    } else if (key == "doc.total_printed") {
      s.doc.total_printed = value != 0;
      known = true;
    } else if (key == "doc.keys") {
      s.doc.keys = value != 0;
      known = true;
    } else if (key.rfind("doc.department.", 0) == 0) {
      int dep = std::atoi(key.c_str() + 15);
      if (dep < 0 || dep >= 100) return false;
      s.doc.departments[dep] = value;
      known = true;
    } else if (key.rfind("department.", 0) == 0) {
      int dep = std::atoi(key.c_str() + 11);
      if (dep < 0 || dep >= 100) return false;
      s.departments[dep] = value;
      known = true;
    }
    // Unknown keys are left for newer versions; only bad lines fail.
    (void)known;
  }
  return true;
}

std::string LoadState(const std::string& path, FiscalState& state) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream text;
  text << in.rdbuf();
  FiscalState loaded;
  if (!ParseState(text.str(), loaded)) return "bad state file " + path;
  state = loaded;
  return "";
}

std::string SaveState(const std::string& path, const FiscalState& state) {
  // Written beside and renamed, so a crash never leaves half a file.
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + tmp;
    out << SerializeState(state);
    if (!out) return "cannot write " + tmp;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return "cannot rename " + tmp;
  return "";
}

}  // namespace vecr
