// XML path queries with pugixml. The text is parsed as Latin-1, which gives
// every byte its own character, and the answers are turned back into bytes,
// so every byte reaches the caller unchanged and character references
// become Windows-1252 bytes.
#include <pugixml.hpp>

#include "language/text_value.h"
#include "platform/xml_query.h"

namespace platform {
namespace {

void CollectText(const pugi::xml_node& node, std::string* out) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
    out->append(node.value());
    return;
  }
  for (const auto& child : node.children()) CollectText(child, out);
}

class PugiXmlQuery : public XmlQuery {
 public:
  bool Load(const std::string& text) override {
    // pugixml's own defaults already skip a DTD without reading it.
    if (!WithinXmlLimits(text)) {
      doc_.reset();
      return loaded_ = false;
    }
    loaded_ = bool(doc_.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_latin1));
    // pugixml takes fragments; a document has exactly one root element.
    int roots = 0;
    for (const auto& child : doc_.children())
      if (child.type() == pugi::node_element) ++roots;
    if (roots != 1) loaded_ = false;
    if (!loaded_) doc_.reset();
    return loaded_;
  }

  bool SelectText(const std::string& path, std::string* text) override {
    if (!loaded_) return false;
    pugi::xpath_node found;
#ifdef PUGIXML_NO_EXCEPTIONS
    pugi::xpath_query query(path.c_str());
    if (!query) return false;
    found = query.evaluate_node(doc_);
#else
    try {
      found = doc_.select_node(path.c_str());
    } catch (const pugi::xpath_exception&) {
      return false;
    }
#endif
    if (!found) return false;
    std::string all;
    if (found.node())
      CollectText(found.node(), &all);
    else
      all = found.attribute().value();
    // pugixml hands out UTF-8; a reference beyond the code page becomes "?".
    std::string bytes;
    *text = language::Trimmed(Utf8ToWindows1252(all, &bytes) ? bytes : all, " \t\r\n");
    return true;
  }

 private:
  pugi::xml_document doc_;
  bool loaded_ = false;
};

}  // namespace

std::unique_ptr<XmlQuery> XmlQuery::Create() { return std::make_unique<PugiXmlQuery>(); }

}  // namespace platform
