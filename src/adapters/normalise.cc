// Line and print-line normalisation. Works on the bytes of Windows-1252 text
// (with the DOS letters some hosts still send), never on decoded characters.
#include "adapters/normalise.h"

#include <array>
#include <string_view>
#include <vector>

namespace adapters {
namespace {

using FoldTable = std::array<const char*, 256>;

struct Fold {
  unsigned char byte;
  const char* line;   // null: kept
  const char* print;  // null: kept
};

// Bytes 130 to 156 are DOS code page 850 letters; the rest are Windows-1252.
const Fold kFolds[] = {
    {128, "E", "E"},   {130, "e", "e"},   {133, "a", "a"},   {135, "c", "c"},   {136, "e", nullptr},
    {138, "e", "e"},   {141, "i", "i"},   {149, "o", "o"},   {151, "u", "u"},   {156, "L", "L"},
    {176, nullptr, "."}, {183, nullptr, "A"}, {192, "A", "A"}, {193, "A", "A"}, {195, "E", nullptr},
    {200, "E", "E"},   {201, "E", "E"},   {204, "I", "I"},   {205, "I", "I"},   {210, "O", "O"},
    {211, "O", "O"},   {217, "U", "U"},   {218, "U", "U"},   {224, "a", "a"},   {225, "a", "a"},
    {232, "e", "e"},   {233, "e", "e"},   {236, "i", "i"},   {237, "i", "i"},   {242, "o", "o"},
    {243, "o", "o"},   {245, " ", " "},   {248, " ", " "},   {249, "u", "u"},   {250, "u", "u"},
    {'&', "e", nullptr}, {228, "ae", nullptr}, {196, "AE", nullptr}, {246, "oe", nullptr},
    {214, "OE", nullptr}, {252, "ue", nullptr}, {220, "UE", nullptr},
};

FoldTable MakeTable(bool print) {
  FoldTable t{};
  for (const Fold& f : kFolds) t[f.byte] = print ? f.print : f.line;
  return t;
}

const FoldTable& LineFolds() {
  static const FoldTable t = MakeTable(false);
  return t;
}

const FoldTable& PrintFolds() {
  static const FoldTable t = MakeTable(true);
  return t;
}

// No replacement produces a byte that another one replaces, so one pass
// gives the same as applying the table row by row.
void ApplyFolds(std::string& s, const FoldTable& t) {
  bool any = false;
  for (char ch : s)
    if (t[static_cast<unsigned char>(ch)]) {
      any = true;
      break;
    }
  if (!any) return;
  std::string out;
  out.reserve(s.size() + 8);
  for (char ch : s) {
    const char* r = t[static_cast<unsigned char>(ch)];
    if (r)
      out += r;
    else
      out += ch;
  }
  s.swap(out);
}

// Upper case of Windows-1252 letters: ASCII and the Latin-1 block. The
// DOS-letter bytes 128-159 stay as they are, so that the folding still
// finds them.
void Upper(std::string& s, size_t from = 0) {
  for (size_t i = from; i < s.size(); ++i) {
    char& ch = s[i];
    unsigned char b = static_cast<unsigned char>(ch);
    if ((b >= 'a' && b <= 'z') || (b >= 224 && b <= 254 && b != 247)) ch = static_cast<char>(b - 32);
  }
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
    s.replace(p, from.size(), to);
}

// Digits and "." as a plain decimal number: no leading zeros, no trailing
// zero decimals, unless `decimals` fixes how many decimals a number with a
// point gets (padded or cut, never rounded). Read up to a second point.
void AppendPlainNumber(std::string& out, std::string_view digits, int decimals) {
  const size_t dot = digits.find('.');
  std::string_view whole = digits.substr(0, dot);
  std::string_view fraction;
  if (dot != std::string_view::npos) {
    fraction = digits.substr(dot + 1);
    fraction = fraction.substr(0, fraction.find('.'));
  }
  const size_t nz = whole.find_first_not_of('0');
  if (nz == std::string_view::npos)
    out += '0';
  else
    out += whole.substr(nz);
  if (dot != std::string_view::npos && decimals >= 0) {
    if (decimals == 0) return;
    out += '.';
    const size_t n = static_cast<size_t>(decimals);
    out += fraction.substr(0, n);
    if (fraction.size() < n) out.append(n - fraction.size(), '0');
    return;
  }
  const size_t last = fraction.find_last_not_of('0');
  if (last == std::string_view::npos) return;
  out += '.';
  out += fraction.substr(0, last + 1);
}

bool OneOf(std::string_view verb, std::initializer_list<std::string_view> verbs) {
  for (std::string_view v : verbs)
    if (verb == v) return true;
  return false;
}

std::string_view TrimBlanks(std::string_view s) {
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// A text field from its colon on.
void AppendText(std::string& out, std::string_view field, int width) {
  std::string text(field);
  Upper(text);
  ReplaceAll(text, "TOTALE", "TOT.  ");
  std::erase(text, '\t');
  ApplyFolds(text, LineFolds());
  if (width >= 0 && text.size() > static_cast<size_t>(width) + 1) text.resize(static_cast<size_t>(width) + 1);
  out += ',';
  out += text == ":" ? ": " : text;
}

// One field of a line, appended behind a comma unless nothing is left of it.
void AppendField(std::string& out, std::string_view field, std::string_view verb, int width) {
  const size_t colon = field.find(':');
  if (colon != std::string_view::npos) return AppendText(out, field.substr(colon), width);
  const std::string_view f = TrimBlanks(field);
  if (f.empty()) return;

  out += ',';
  const size_t at = out.size();
  out += f;
  Upper(out, at);
  const char marker = out[at];
  const bool exempt = (marker == 'C' && (verb == "PLUD" || verb == "LOTT")) ||
                      (marker == '>' && verb == "NDCR") || verb == "DELD";
  // Exempt fields keep their text, and no number rule applies to them.
  if (exempt) return;
  out.resize(at + 1);
  for (size_t i = 1; i < f.size(); ++i)
    if ((f[i] >= '0' && f[i] <= '9') || f[i] == '.') out += f[i];
  if (out.size() == at + 1 && marker != 'R' && marker != 'S') out += '1';

  int decimals;
  if ((marker == 'Q' || marker == 'N' || marker == 'P') && (verb == "SALE" || verb == "PLUD"))
    decimals = marker == 'Q' ? 3 : -1;
  else if (marker == '%' && OneOf(verb, {"MOST", "DISC", "DOST", "MAGG"}))
    decimals = 2;
  else if ((marker == 'V' || marker == 'N' || marker == 'C') && !OneOf(verb, {"DELD", "LOTT", "CLER", "NDCR"}))
    decimals = -1;
  else
    return;
  const std::string digits = out.substr(at + 1);
  out.resize(at + 1);
  AppendPlainNumber(out, digits, decimals);
}

}  // namespace

std::string NormaliseLine(const std::string& line, int width) {
  if (line.empty()) return "";
  size_t comma = line.find(',');
  std::string result;
  result.reserve(line.size() + 2);
  result.assign(line, 0, comma < 4 ? comma : 4);
  Upper(result, 0);
  const std::string verb = result;

  while (comma != std::string::npos) {
    const size_t next = line.find(',', comma + 1);
    const std::string_view field =
        std::string_view(line).substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
    comma = next;
    if (!field.empty()) AppendField(result, field, verb, width);
  }
  if (result.find(';') == std::string::npos) result += ';';
  return result;
}

std::string NormalisePrintLine(const std::string& line, int width) {
  if (line.size() <= 6) return line;
  size_t marker = line.find(",:");
  if (marker == std::string::npos) return line;
  std::string s = line;
  if (width >= 0 && s.size() > marker + 2 + static_cast<size_t>(width)) s.resize(marker + 2 + width);
  if (!s.empty() && s.back() == ';' && s.size() < 8) s.insert(s.size() - 1, " ");
  ApplyFolds(s, PrintFolds());
  if (s.empty() || s.back() != ';') s += ';';
  return s;
}

}  // namespace adapters
