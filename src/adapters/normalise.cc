// Line and print-line normalisation. Works on the bytes of Windows-1252 text
// (with the DOS letters some hosts still send), never on decoded characters.
#include "adapters/normalise.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "language/text_value.h"

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

const FoldTable kLineFolds = MakeTable(false);
const FoldTable kPrintFolds = MakeTable(true);

// Writes `text` behind `w` with the table's replacements; returns the new
// end. No replacement produces a byte that another one replaces, so one
// pass gives the same as applying the table row by row; none is longer
// than two bytes.
char* WriteFolded(char* w, std::string_view text, const FoldTable& t) {
  for (char ch : text) {
    const char* r = t[static_cast<unsigned char>(ch)];
    if (!r)
      *w++ = ch;
    else
      while (*r) *w++ = *r++;
  }
  return w;
}

// The position of the first byte the table replaces, or `s.size()`.
size_t FirstFolded(std::string_view s, const FoldTable& t) {
  size_t first = 0;
  while (first < s.size() && !t[static_cast<unsigned char>(s[first])]) ++first;
  return first;
}

void ApplyFolds(std::string& s, const FoldTable& t) {
  const size_t first = FirstFolded(s, t);
  if (first == s.size()) return;
  std::string folded(first + 2 * (s.size() - first), '\0');
  std::memcpy(folded.data(), s.data(), first);
  char* const end = WriteFolded(folded.data() + first, std::string_view(s).substr(first), t);
  folded.resize(static_cast<size_t>(end - folded.data()));
  s.swap(folded);
}

// Upper case of Windows-1252 letters: ASCII and the Latin-1 block. The
// DOS-letter bytes 128-159 stay as they are, so that the folding still
// finds them.
inline char UpperByte(char ch) {
  const unsigned char b = static_cast<unsigned char>(ch);
  return ((b >= 'a' && b <= 'z') || (b >= 224 && b <= 254 && b != 247)) ? static_cast<char>(b - 32) : ch;
}

char* Copy(char* w, std::string_view s) {
  if (!s.empty()) std::memcpy(w, s.data(), s.size());
  return w + s.size();
}

// Digits and "." as a plain decimal number: no leading zeros, no trailing
// zero decimals, unless `decimals` fixes how many decimals a number with a
// point gets (padded or cut, never rounded). Read up to a second point.
char* WritePlainNumber(char* w, std::string_view digits, int decimals) {
  const size_t dot = digits.find('.');
  std::string_view whole = digits.substr(0, dot);
  std::string_view fraction;
  if (dot != std::string_view::npos) {
    fraction = digits.substr(dot + 1);
    fraction = fraction.substr(0, fraction.find('.'));
  }
  const size_t nz = whole.find_first_not_of('0');
  if (nz == std::string_view::npos)
    *w++ = '0';
  else
    w = Copy(w, whole.substr(nz));
  if (dot != std::string_view::npos && decimals >= 0) {
    if (decimals == 0) return w;
    *w++ = '.';
    const size_t n = static_cast<size_t>(decimals);
    w = Copy(w, fraction.substr(0, n));
    for (size_t k = fraction.size(); k < n; ++k) *w++ = '0';
    return w;
  }
  const size_t last = fraction.find_last_not_of('0');
  if (last == std::string_view::npos) return w;
  *w++ = '.';
  return Copy(w, fraction.substr(0, last + 1));
}

// A four-byte verb as one number, so that a verb is told by comparisons of
// integers.
constexpr uint32_t VerbKey(std::string_view verb) {
  if (verb.size() != 4) return 0;
  uint32_t key = 0;
  for (char ch : verb) key = key << 8 | static_cast<unsigned char>(ch);
  return key;
}

// What the field rules need to know of a line's verb, worked out once.
struct VerbRules {
  explicit VerbRules(std::string_view verb) {
    switch (VerbKey(verb)) {
      case VerbKey("SALE"): item = true; break;
      case VerbKey("PLUD"): item = plud = true; break;
      case VerbKey("LOTT"): lott = true, plainNumbers = false; break;
      case VerbKey("NDCR"): ndcr = true, plainNumbers = false; break;
      case VerbKey("DELD"): deld = true, plainNumbers = false; break;
      case VerbKey("CLER"): plainNumbers = false; break;
      case VerbKey("MOST"):
      case VerbKey("DISC"):
      case VerbKey("DOST"):
      case VerbKey("MAGG"): percent = true; break;
      default: break;
    }
  }
  bool item = false, plud = false, lott = false, ndcr = false, deld = false, percent = false;
  bool plainNumbers = true;
};

// A text field from its colon on: upper case, "TOTALE" shortened, tabs
// dropped, letters folded, cut to `width`, in that order.
char* WriteText(char* w, std::string_view field, int width) {
  *w++ = ',';
  char* const at = w;
  for (char ch : field) *w++ = UpperByte(ch);
  // Both texts are six bytes long: the replacement stays in place.
  static constexpr char kTotale[] = "TOTALE";
  for (char* p = at; (p = std::search(p, w, kTotale, kTotale + 6)) != w; p += 6) std::memcpy(p, "TOT.  ", 6);
  w = std::remove(at, w, '\t');
  // Folded in place from the first byte that changes, out of a copy.
  char* const first = at + FirstFolded(std::string_view(at, static_cast<size_t>(w - at)), kLineFolds);
  if (first < w) {
    const std::string rest(first, w);
    w = WriteFolded(first, rest, kLineFolds);
  }
  if (width >= 0 && w - at > width + 1) w = at + width + 1;
  if (w - at == 1) *w++ = ' ';
  return w;
}

// One field of a line, written behind a comma unless nothing is left of it.
// `digits` is room used again from field to field.
char* WriteField(char* w, std::string_view field, const VerbRules& verb, int width, std::string& digits) {
  const size_t colon = field.find(':');
  if (colon != std::string_view::npos) return WriteText(w, field.substr(colon), width);
  const std::string_view f = language::Trimmed(field);
  if (f.empty()) return w;

  *w++ = ',';
  const char marker = UpperByte(f[0]);
  const bool exempt = (marker == 'C' && (verb.plud || verb.lott)) || (marker == '>' && verb.ndcr) || verb.deld;
  // Exempt fields keep their text, and no number rule applies to them.
  if (exempt) {
    for (char ch : f) *w++ = UpperByte(ch);
    return w;
  }
  *w++ = marker;
  digits.clear();
  for (size_t i = 1; i < f.size(); ++i)
    if ((f[i] >= '0' && f[i] <= '9') || f[i] == '.') digits += f[i];
  if (digits.empty() && marker != 'R' && marker != 'S') digits = "1";

  if ((marker == 'Q' || marker == 'N' || marker == 'P') && verb.item)
    return WritePlainNumber(w, digits, marker == 'Q' ? 3 : -1);
  if (marker == '%' && verb.percent) return WritePlainNumber(w, digits, 2);
  if ((marker == 'V' || marker == 'N' || marker == 'C') && verb.plainNumbers) return WritePlainNumber(w, digits, -1);
  return Copy(w, digits);
}

}  // namespace

std::string NormaliseLine(const std::string& line, int width) {
  std::string result;
  NormaliseLine(line, width, &result);
  return result;
}

void NormaliseLine(const std::string& line, int width, std::string* out) {
  std::string& result = *out;
  result.clear();
  if (line.empty()) return;
  // Room enough for the worst growth: a folded letter doubles, and a field
  // as short as ",Q." becomes ",Q0.000".
  result.resize(3 * line.size() + 16);
  char* const begin = result.data();
  size_t comma = line.find(',');
  char* w = begin;
  for (size_t k = 0; k < line.size() && k < 4 && k < comma; ++k) *w++ = UpperByte(line[k]);
  const VerbRules verb(std::string_view(begin, static_cast<size_t>(w - begin)));

  std::string digits;
  while (comma != std::string::npos) {
    const size_t next = line.find(',', comma + 1);
    const std::string_view field =
        std::string_view(line).substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
    comma = next;
    if (!field.empty()) w = WriteField(w, field, verb, width, digits);
  }
  const size_t size = static_cast<size_t>(w - begin);
  const bool ended = std::memchr(begin, ';', size) != nullptr;
  result.resize(size);
  if (!ended) result += ';';
}

std::string NormalisePrintLine(const std::string& line, int width) {
  if (line.size() <= 6) return line;
  size_t marker = line.find(",:");
  if (marker == std::string::npos) return line;
  std::string s = line;
  if (width >= 0 && s.size() > marker + 2 + static_cast<size_t>(width)) s.resize(marker + 2 + width);
  if (!s.empty() && s.back() == ';' && s.size() < 8) s.insert(s.size() - 1, " ");
  ApplyFolds(s, kPrintFolds);
  if (s.empty() || s.back() != ';') s += ';';
  return s;
}

}  // namespace adapters
