// An XML document queried by paths such as "/Error/Message": the answers of
// the card-payment service are read this way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "language/cp1252.h"

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
  std::string bytes;
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp;
    if (!language::NextUtf8(text, &i, &cp)) return false;
    const int byte = language::Windows1252Byte(cp);
    bytes += byte >= 0 ? static_cast<char>(byte) : cp < 0xA0 ? static_cast<char>(cp) : '?';
  }
  *out = std::move(bytes);
  return true;
}

}  // namespace platform
