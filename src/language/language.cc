// Verb and field lookup of the command language. The search is plain text,
// blind to field boundaries, exactly as hosts have always relied on.
#include "language/language.h"

#include <string_view>

namespace language {
namespace {

inline char UpperAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch; }

bool MatchesAt(const std::string& line, size_t pos, std::string_view marker) {
  if (pos + marker.size() > line.size()) return false;
  for (size_t k = 0; k < marker.size(); ++k)
    if (UpperAscii(line[pos + k]) != UpperAscii(marker[k])) return false;
  return true;
}

inline bool IsLetter(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }

size_t FindNoCase(const std::string& line, std::string_view marker, size_t from) {
  if (marker.size() > line.size()) return std::string::npos;
  const size_t last = line.size() - marker.size();
  // Markers mostly open with a comma: a plain byte search finds the places
  // to compare, the line being scanned once per field looked up.
  if (!IsLetter(marker[0])) {
    for (size_t i = line.find(marker[0], from); i != std::string::npos && i <= last; i = line.find(marker[0], i + 1))
      if (MatchesAt(line, i, marker)) return i;
    return std::string::npos;
  }
  const char first = UpperAscii(marker[0]);
  for (size_t i = from; i <= last; ++i)
    if (UpperAscii(line[i]) == first && MatchesAt(line, i, marker)) return i;
  return std::string::npos;
}

bool Find(bool atStart, std::string* value, const std::string& line, std::string_view marker) {
  if (marker.empty()) return false;
  size_t p;
  size_t start;
  if (atStart) {
    // Only the first five characters are looked at, and only column 1 counts.
    if (marker.size() > 5 || !MatchesAt(line, 0, marker)) return false;
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

}  // namespace

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    lines.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
    if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
  }
  return lines;
}

bool FindField(bool atStart, std::string* value, const std::string& line, std::string_view marker) {
  return Find(atStart, value, line, marker);
}

bool IsTenderSynonym(const std::string& line, char tender) {
  if (line.compare(0, 7, std::string("TEND,N") + tender) != 0) return false;
  return line.size() == 7 || line[7] == ',' || line[7] == ';';
}

}  // namespace language
