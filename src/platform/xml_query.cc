// The limits every XML answer must keep before it is parsed, on both systems.
#include "platform/xml_query.h"

namespace platform {

bool WithinXmlLimits(std::string_view text, int maxDepth) {
  int depth = 0;
  size_t i = 0;
  // Moves past `end`; false when it never comes (the parser refuses the rest).
  auto skipPast = [&](std::string_view end) {
    size_t at = text.find(end, i);
    i = at == std::string_view::npos ? text.size() : at + end.size();
  };
  while ((i = text.find('<', i)) != std::string_view::npos) {
    std::string_view rest = text.substr(i);
    if (rest.substr(0, 4) == "<!--") {
      skipPast("-->");
    } else if (rest.substr(0, 9) == "<![CDATA[") {
      skipPast("]]>");
    } else if (rest.substr(0, 2) == "<!") {
      return false;  // <!DOCTYPE and every other declaration
    } else if (rest.substr(0, 2) == "<?") {
      skipPast("?>");
    } else if (rest.substr(0, 2) == "</") {
      --depth;
      skipPast(">");
    } else {
      // A start tag: its end is the first ">" outside a quoted attribute value.
      char quote = 0;
      size_t k = i + 1;
      for (; k < text.size(); ++k) {
        char c = text[k];
        if (quote) {
          if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
          quote = c;
        } else if (c == '>') {
          break;
        }
      }
      if (k >= text.size() || text[k - 1] != '/') ++depth;
      if (depth > maxDepth) return false;
      i = k + 1;
    }
  }
  return true;
}

}  // namespace platform
