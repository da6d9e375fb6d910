// Test helper: converts a document given as lines and returns the command
// lines the command file would hold.
#pragma once

#include <string>
#include <vector>

#include "convert/converter.h"

namespace convert {

struct Converted {
  int16_t result = -1;
  bool written = false;             // a command file would be written
  std::vector<std::string> lines;   // the command lines without the first
  std::string firstLine;
  ConversionResult conversion;
};

inline Converted ConvertLines(const std::vector<std::string>& document, ConvertContext ctx = {}) {
  Converted c;
  c.conversion = ConvertDocument(document, ctx);
  c.result = c.conversion.result;
  c.written = c.result == 0 && !c.conversion.commands.empty();
  if (c.written) {
    c.firstLine = c.conversion.commands.front();
    c.lines.assign(c.conversion.commands.begin() + 1, c.conversion.commands.end());
  }
  return c;
}

// The command lines without the customer display ones.
inline std::vector<std::string> Commands(const Converted& c) {
  std::vector<std::string> out;
  for (const std::string& l : c.lines)
    if (l.compare(0, 4, "7007") != 0) out.push_back(l);
  return out;
}

inline std::vector<std::string> Displays(const Converted& c) {
  std::vector<std::string> out;
  for (const std::string& l : c.lines)
    if (l.compare(0, 4, "7007") == 0) out.push_back(l);
  return out;
}

}  // namespace convert
