// Verb and field lookup of the command language. The search is plain text,
// blind to field boundaries, exactly as hosts have always relied on.
#include "language/language.h"

#include <cstring>
#include <string_view>

namespace language {
namespace {

inline bool MatchesAt(const std::string& line, size_t pos, std::string_view marker) {
  if (pos + marker.size() > line.size()) return false;
  for (size_t k = 0; k < marker.size(); ++k)
    if (UpperAscii(line[pos + k]) != UpperAscii(marker[k])) return false;
  return true;
}

inline bool IsLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

// Lines are short: a plain loop over the bytes beats a library search
// restarted at every comma. Markers mostly open with a comma, which needs
// no case folding.
size_t FindNoCase(const std::string& line, std::string_view marker, size_t from) {
  if (marker.size() > line.size()) return std::string::npos;
  const size_t last = line.size() - marker.size();
  const char* const p = line.data();
  if (!IsLetter(marker[0])) {
    for (size_t i = from; i <= last; ++i)
      if (p[i] == marker[0] && MatchesAt(line, i, marker)) return i;
    return std::string::npos;
  }
  const char first = UpperAscii(marker[0]);
  for (size_t i = from; i <= last; ++i)
    if (UpperAscii(p[i]) == first && MatchesAt(line, i, marker)) return i;
  return std::string::npos;
}

}  // namespace

bool FindField(bool atStart, std::string* value, const std::string& line, std::string_view marker) {
  if (marker.empty()) return false;
  size_t p;
  size_t start;
  if (atStart) {
    // Only the first five characters are looked at, and only column 1 counts.
    if (!HasVerb(line, marker)) return false;
    p = 0;
    start = 2;
  } else {
    p = FindNoCase(line, marker, 0);
    if (p == std::string::npos) return false;
    // The return and void markers carry no value of their own.
    char letter = marker.size() >= 2 ? UpperAscii(marker[1]) : 0;
    start = p + ((marker[0] == ',' && (letter == 'R' || letter == 'S')) ? 1 : 2);
  }
  if (value) {
    if (start > line.size()) start = line.size();
    size_t end = start;
    while (end < line.size() && line[end] != ',' && line[end] != ';') ++end;
    value->assign(line, start, end - start);
  }
  return true;
}

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  lines.reserve(bytes.size() / 16 + 1);
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  // The next CR and the next LF, each searched for again only once passed,
  // so that every byte is looked at once whichever ends the lines.
  auto next = [&](char ch) {
    const void* at = std::memchr(p, ch, static_cast<size_t>(end - p));
    return at ? static_cast<const char*>(at) : end;
  };
  const char* cr = next('\r');
  const char* lf = next('\n');
  while (p < end) {
    if (cr < p) cr = next('\r');
    if (lf < p) lf = next('\n');
    const char* e = cr < lf ? cr : lf;
    lines.emplace_back(p, e);
    if (e == end) break;
    p = e + 1;
    if (*e == '\r' && p < end && *p == '\n') ++p;
  }
  return lines;
}

size_t BlankControlBytes(std::string& text, bool keepTabs) {
  size_t replaced = 0;
  for (char& ch : text) {
    if (static_cast<unsigned char>(ch) >= 0x20 || (keepTabs && ch == '\t')) continue;
    ch = ' ';
    ++replaced;
  }
  return replaced;
}

uint64_t CommaFollowers(const std::string& line) {
  uint64_t bits = 0;
  for (size_t i = 0; i + 1 < line.size(); ++i) {
    if (line[i] != ',') continue;
    const unsigned char b = static_cast<unsigned char>(UpperAscii(line[i + 1]));
    if (b >= 0x20 && b <= 0x5f) bits |= uint64_t{1} << (b - 0x20);
  }
  return bits;
}

bool IsTenderSynonym(const std::string& line, char tender) {
  if (line.size() < 7 || std::string_view(line).substr(0, 6) != "TEND,N" || line[6] != tender) return false;
  return line.size() == 7 || line[7] == ',' || line[7] == ';';
}

}  // namespace language
