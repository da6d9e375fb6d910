// The command language: a document's lines, and the verbs and fields in a
// line. The bottom of the converter, the adapters and the card payment.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace language {

// A document's bytes as lines: CR LF, LF and a lone CR each end a line, and
// a last line without its end still counts. No line holds CR or LF.
std::vector<std::string> SplitLines(std::string_view bytes);

// Every byte below 0x20 in `text` becomes a blank, the tab too unless
// `keepTabs` (text fields drop their tabs, as they always have). Such a
// byte in a printer command would be taken for the framing. Returns how
// many were replaced.
size_t BlankControlBytes(std::string& text, bool keepTabs = false);

// With `atStart` the marker is a verb, searched in the first five characters
// and counted only in column 1; otherwise it is searched anywhere. Letters
// compare without regard to case. On success `value` receives the field's
// value; when not found it is left as it was.
bool FindField(bool atStart, std::string* value, const std::string& line, std::string_view marker);

inline char UpperAscii(char ch) { return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 32) : ch; }

// Whether `line` begins with the verb `verb` (FindField with atStart). Every
// line is tested against some thirty verbs, so this one stays inline.
inline bool HasVerb(const std::string& line, std::string_view verb) {
  if (verb.empty() || verb.size() > 5 || line.size() < verb.size()) return false;
  for (size_t k = 0; k < verb.size(); ++k)
    if (UpperAscii(line[k]) != UpperAscii(verb[k])) return false;
  return true;
}

// A line's verb read once: its first five bytes, ASCII letters upper-cased,
// zeros past its end. Testing it for a verb is then one comparison; the
// result is HasVerb's.
struct VerbHead {
  explicit VerbHead(const std::string& line) {
    for (size_t k = 0; k < 5 && k < line.size(); ++k) bytes[k] = UpperAscii(line[k]);
  }
  // `verb`: at most five upper-case bytes, as "SALE" or "PRNT,".
  template <size_t N>
  bool Is(const char (&verb)[N]) const {
    static_assert(N >= 2 && N <= 6, "a verb has one to five bytes");
    return std::memcmp(bytes, verb, N - 1) == 0;
  }
  char bytes[5] = {};
};

// The bytes that follow a comma in `line`, upper-cased, as one bit each for
// those from blank to underscore. A field whose marker's second byte has
// no bit here is not in the line: the bits are worked out once per line and
// spare a search for each field that is absent.
uint64_t CommaFollowers(const std::string& line);

// Whether the field `marker` (a comma and at least one more byte) may be in
// a line with `followers`; false only when it surely is not.
inline bool MayHoldField(uint64_t followers, std::string_view marker) {
  const unsigned char b = static_cast<unsigned char>(UpperAscii(marker[1]));
  return b < 0x20 || b > 0x5f || (followers >> (b - 0x20) & 1);
}

// The payment synonyms: a line beginning "TEND,N" (with case) whose tender
// number is exactly `tender` ("TEND,N31" is not tender 3).
bool IsTenderSynonym(const std::string& line, char tender);

}  // namespace language
