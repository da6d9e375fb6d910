// XonXoff adapter: a cash-register key sequence becomes command lines, one
// command per key that sets a verb, each taking the values typed before it.
#include "adapters/xonxoff.h"

#include <vector>

namespace adapters {
namespace {

// The register's "numeric value": the leading number of the text, 0 when
// the text does not start with one (so "1.0" is 1 and "3x" is 3).
double LeadingValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  double value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') value = value * 10 + (text[i++] - '0');
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
      value += (text[i] - '0') * scale;
  }
  return negative ? -value : value;
}

// Everything typed since the last command.
struct KeyState {
  std::string number;
  std::string text;
  std::string quantity;
  std::string price;
  std::string code;
  std::string clerk;
  std::string modifierNumber;
  std::string pendingVerb;
  bool barcode = false;  // "Z" was pressed: a barcode line, whatever the number
  bool payment = false;
  bool isReturn = false;
  bool isVoid = false;
  bool modifier = false;
  bool percent = false;
  bool onSubtotal = false;
  bool credit = false;
  bool recovery = false;
};

const char* ImmediateVerb(char key) {
  static const struct {
    char key;
    const char* verb;
  } kKeys[] = {{'a', "OPEN"}, {'K', "CLEA"}, {'j', "OPNF"}, {'J', "CLNF"}, {'=', "SUBT"},
               {'c', "REGK"}, {'z', "ZKEY"}, {'y', "MGRK"}, {'x', "XKEY"}};
  for (const auto& k : kKeys)
    if (k.key == key) return k.verb;
  return nullptr;
}

// A quantity of 1 is the register's default and is never written.
bool QuantityGiven(const std::string& quantity) { return !quantity.empty() && LeadingValue(quantity) != 1; }

void ApplyModifier(KeyState& s) {
  struct Entry {
    int value;
    const char* verb;
    bool percent, onSubtotal;
  };
  static const Entry kTable[] = {
      {1, "DISC", true, false}, {2, "DOST", true, true},  {3, "COUP", false, false}, {4, "COST", false, true},
      {5, "MAGG", true, false}, {6, "MOST", true, true},  {7, "ADDI", false, false}, {8, "ADDS", false, true},
  };
  double value = LeadingValue(s.modifierNumber);
  // 9 marks a return and 0 a void; 12 and 13 are credit and recovery.
  if (value == 9 || value == 0) {
    (value == 9 ? s.isReturn : s.isVoid) = true;
    return;
  }
  if (value == 12 || value == 13) {
    s.pendingVerb = value == 12 ? "CRED" : "RECO";
    (value == 12 ? s.credit : s.recovery) = true;
    return;
  }
  s.modifier = true;
  for (const Entry& e : kTable) {
    if (value == e.value) {
      s.pendingVerb = e.verb;
      s.percent = e.percent;
      s.onSubtotal = e.onSubtotal;
      s.modifierNumber.clear();
      return;
    }
  }
}

// A tender key after its number: 1 to 3 are cash, cheque and card, a
// higher one a tender of that code.
void CollectTender(KeyState& s) {
  static const char* const kTenders[] = {"CASH", "CHEQ", "CARD"};
  s.payment = true;
  double value = LeadingValue(s.code);
  if (value == 1 || value == 2 || value == 3) {
    s.pendingVerb = kTenders[int(value) - 1];
    s.code.clear();
  } else if (value > 3) {
    s.pendingVerb = "TEND";
  }
}

// Keys that end an entry with a verb of their own; the number typed before
// them becomes the code, the clerk or both.
struct VerbKey {
  char key;
  const char* verb;
  bool code, clerk;
};
constexpr VerbKey kVerbKeys[] = {
    {'@', "PRNT", false, false}, {'>', "DISP,N1,C2", false, false}, {'O', "OPER", true, true},
    {'F', "FUNC", true, false},  {'#', "CLER", false, true},        {'R', "SALE", true, false},
    {'P', "PLUI", true, false},
};

// Handles a collecting key; returns false for a character that is no key.
bool CollectKey(char key, KeyState& s) {
  for (const VerbKey& v : kVerbKeys) {
    if (v.key != key) continue;
    if (v.code) s.code = s.number;
    if (v.clerk) s.clerk = s.number;
    s.pendingVerb = v.verb;
    s.number.clear();
    return true;
  }
  switch (key) {
    case '*':
      s.quantity = s.number;
      break;
    case 'H':
      s.price = s.number;
      break;
    case 'T':
      s.code = s.number;
      if (!s.code.empty()) CollectTender(s);
      break;
    case 'Z':
      s.code = s.number;
      s.barcode = true;
      break;
    case 'M':
      if (!s.number.empty()) {
        s.modifierNumber = s.number;
        ApplyModifier(s);
      }
      break;
    default:
      return false;
  }
  s.number.clear();
  return true;
}

std::string SaleLine(const KeyState& s) {
  std::string line = s.text.empty() ? "SALE" : "PLUD,C[1]";
  if (!s.code.empty()) line += ",N" + s.code;
  if (!s.text.empty()) line += ",:" + s.text;
  if (QuantityGiven(s.quantity)) line += ",Q" + s.quantity;
  if (!s.price.empty()) line += ",P" + s.price;
  if (!s.modifierNumber.empty()) {
    if (s.isReturn)
      line += ",R";
    else if (s.isVoid)
      line += ",S";
  }
  return line;
}

std::string OtherLine(const KeyState& s) {
  std::string line = s.pendingVerb;
  if (s.modifier && (s.credit || s.recovery)) return line;
  if (!s.code.empty()) line += ",N" + s.code;
  if (!s.text.empty()) line += ",:" + s.text;
  if (!s.modifier && QuantityGiven(s.quantity)) line += ",Q" + s.quantity;
  if (s.payment) {
    if (!s.price.empty()) line += ",V" + s.price;
  } else if (s.modifier && s.percent) {
    if (QuantityGiven(s.quantity)) line += ",%" + s.quantity;
  } else if (!s.modifier) {
    if (!s.price.empty()) line += ",P" + s.price;
  } else {
    if (!s.price.empty()) line += ",V" + s.price;
  }
  return line;
}

// The barcode key prints fixed sample data: the key string has no way to
// carry the code itself.
std::string BarcodeLine(const KeyState& s) {
  double kind = LeadingValue(s.code);
  const char* type = kind == 1 ? "T1" : kind == 2 ? "T2" : (kind == 3 || kind == 4) ? "T4" : nullptr;
  if (!type) return "";
  return std::string("BARC,") + type + ",H0,:1234567890123";
}

void Emit(const KeyState& s, std::vector<std::string>& out) {
  std::string line;
  if (s.barcode) {
    line = BarcodeLine(s);
  } else if (s.pendingVerb == "SALE") {
    line = SaleLine(s);
  } else if (s.pendingVerb == "OPER" || s.pendingVerb == "CLER") {
    if (!s.clerk.empty()) line = s.pendingVerb + ",C" + s.clerk;
  } else {
    if (s.onSubtotal) out.push_back("SUBT;");
    line = OtherLine(s);
  }
  if (!line.empty()) out.push_back(line + ";");
}

}  // namespace

std::vector<std::string> ConvertXonXoff(const std::vector<std::string>& lines) {
  std::string keys;
  for (const std::string& line : lines) keys += line;
  std::vector<std::string> out;
  KeyState s;
  bool textMode = false;
  for (char c : keys) {
    if (c == '"') {
      textMode = !textMode;
      if (textMode) s.text.clear();
      continue;
    }
    if (textMode) {
      s.text += c == ',' ? '.' : c;
      continue;
    }
    if (c == ' ') continue;
    if (const char* verb = ImmediateVerb(c)) {
      out.push_back(std::string(verb) + ";");
      continue;
    }
    if (!CollectKey(c, s)) s.number += c;
    if (s.barcode || !s.pendingVerb.empty()) {
      Emit(s, out);
      s = KeyState();
    }
  }
  return out;
}

}  // namespace adapters
