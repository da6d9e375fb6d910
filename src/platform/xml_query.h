// An XML document queried by paths such as "/Error/Message": the answers of
// the card-payment service are read this way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class XmlQuery {
 public:
  virtual ~XmlQuery() = default;

  // Parses `text`, Windows-1252 bytes whatever the declaration says,
  // replacing any earlier document. False when it is not well-formed or not
  // WithinXmlLimits; every query then finds nothing.
  virtual bool Load(const std::string& text) = 0;

  // True when `path` selects a node; `*text` then receives the node's text
  // (all the text within it, leading and trailing white space removed). Bytes
  // are passed through as they came; a character reference gives its
  // Windows-1252 byte, or "?" when the code page lacks it.
  virtual bool SelectText(const std::string& path, std::string* text) = 0;

  static std::unique_ptr<XmlQuery> Create();
};

// Elements nested deeper than this are refused before any parser sees them.
inline constexpr int kMaxXmlDepth = 256;

// False when `text` declares a DTD or nests elements deeper than `maxDepth`.
// A scan without recursion, run before the parser: the service's answers are
// flat, and a hostile one must not reach a parser that recurses or expands
// entities. Malformed text passes; the parser refuses it.
bool WithinXmlLimits(std::string_view text, int maxDepth = kMaxXmlDepth);

// `text` as Windows-1252 bytes when it is valid UTF-8 (the service's answers
// usually are); false, `out` untouched, when it is not. A character the code
// page lacks becomes "?"; U+0080 to U+009F give the byte of the same value.
inline bool Utf8ToWindows1252(std::string_view text, std::string* out) {
  // Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
  static const uint16_t kHigh[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    uint32_t cp;
    size_t n;
    if (lead < 0x80) {
      cp = lead, n = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1Fu, n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0Fu, n = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      cp = lead & 0x07u, n = 4;
    } else {
      return false;
    }
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n;
    char byte = '?';
    if (cp < 0x100) {
      byte = static_cast<char>(cp);
    } else {
      for (int k = 0; k < 32; ++k)
        if (kHigh[k] == cp) byte = static_cast<char>(0x80 + k);
    }
    bytes += byte;
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace platform
