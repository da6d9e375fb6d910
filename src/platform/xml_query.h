// An XML document queried by paths such as "/Error/Message": the answers of
// the card-payment service are read this way.
#pragma once

#include <memory>
#include <string>

namespace platform {

class XmlQuery {
 public:
  virtual ~XmlQuery() = default;

  // Parses `text`, replacing any earlier document. False when it is not
  // well-formed; every query then finds nothing.
  virtual bool Load(const std::string& text) = 0;

  // True when `path` selects a node; `*text` then receives the node's text
  // (all the text within it, leading and trailing white space removed). Bytes
  // are passed through as they came.
  virtual bool SelectText(const std::string& path, std::string* text) = 0;

  static std::unique_ptr<XmlQuery> Create();
};

}  // namespace platform
