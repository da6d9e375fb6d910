// Test helper: converts a document given as lines in a scratch data
// directory and returns the command file's lines.
#pragma once

#include <string>
#include <vector>

#include "convert/converter.h"
#include "testing/temp_dir.h"

namespace convert {

struct Converted {
  int16_t result = -1;
  bool written = false;             // KB.txt exists afterwards
  std::vector<std::string> lines;   // KB.txt without its first line
  std::string firstLine;
  ConversionResult conversion;
};

inline std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

inline Converted ConvertLines(const std::vector<std::string>& document, ConvertContext ctx = {}) {
  testing_support::ScopedTempDir dir;
  std::string bytes;
  for (const std::string& l : document) bytes += l + "\r\n";
  std::string path = dir.File("SR_DATI.001");
  testing_support::WriteFileBytes(path, bytes);
  ctx.dataDir = dir.path();
  Converted c;
  c.conversion = ConvertDocument(path, ctx);
  c.result = c.conversion.result;
  const std::string kb = dir.File("KB.txt");
  c.written = testing_support::FileExists(kb);
  if (c.written) {
    c.lines = SplitCrLf(testing_support::ReadFileBytes(kb));
    if (!c.lines.empty()) {
      c.firstLine = c.lines.front();
      c.lines.erase(c.lines.begin());
    }
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
