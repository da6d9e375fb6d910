// Paths compared by their letters: no look at the disk, so a name that does
// not exist yet is judged like any other.
#include "ecr/paths.h"

#include <algorithm>

#include "language/language.h"

namespace ecr {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A path as its root ("", "/", "//", "C:" or "C:/") and its names, with "."
// gone and ".." taken back where it can be; `climbs` tells it had one.
struct SplitPath {
  std::string root;
  std::vector<std::string> names;
  bool climbs = false;
};

SplitPath Split(const std::string& path) {
  SplitPath p;
  size_t i = 0;
  if (path.size() >= 2 && IsLetter(path[0]) && path[1] == ':') {
    p.root = path.substr(0, 2);
    i = 2;
  }
  // One separator roots the path; two begin a network name.
  for (int n = 0; n < 2 && i < path.size() && IsSeparator(path[i]); ++n, ++i) {
    if (n == 1 && p.root != "/") break;
    p.root += '/';
  }
  std::string name;
  for (; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) {
      name += path[i];
      continue;
    }
    if (name == "..") {
      p.climbs = true;
      // Above a root there is nothing; a relative path keeps its climb.
      if (!p.names.empty() && p.names.back() != "..")
        p.names.pop_back();
      else if (p.root.empty())
        p.names.push_back(name);
    } else if (!name.empty() && name != ".") {
      p.names.push_back(name);
    }
    name.clear();
  }
  return p;
}

bool SameName(const std::string& a, const std::string& b, bool ignoreCase) {
  auto fold = [ignoreCase](char c) { return ignoreCase ? language::UpperAscii(c) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](char x, char y) { return fold(x) == fold(y); });
}

// Strictly below `dir`: the folder itself is no file to write.
bool Inside(const SplitPath& path, const SplitPath& dir, bool ignoreCase) {
  if (!SameName(path.root, dir.root, ignoreCase) || path.names.size() <= dir.names.size()) return false;
  for (size_t i = 0; i < dir.names.size(); ++i)
    if (!SameName(path.names[i], dir.names[i], ignoreCase)) return false;
  return true;
}

}  // namespace

std::string AllowedReadTarget(const std::string& target, const std::string& dataDir,
                              const std::vector<std::string>& allowedDirs, char separator, bool ignoreCase,
                              std::string* folder, std::string* name) {
  if (target.empty()) return "";
  SplitPath path = Split(target);
  if (path.climbs) return "";
  if (path.root.empty()) path = Split(dataDir + "/" + target);
  // The first folder that holds it, the data directory before the others.
  const std::string* inside = nullptr;
  size_t depth = 0;
  auto consider = [&](const std::string& dir) {
    if (inside || dir.empty()) return;
    const SplitPath d = Split(dir);
    if (Inside(path, d, ignoreCase)) inside = &dir, depth = d.names.size();
  };
  consider(dataDir);
  for (const std::string& dir : allowedDirs) consider(dir);
  if (!inside) return "";
  std::string out = path.root;
  for (char& c : out)
    if (c == '/') c = separator;
  std::string below;
  for (size_t i = 0; i < path.names.size(); ++i) {
    out += (i > 0 ? std::string(1, separator) : "") + path.names[i];
    if (i >= depth) below += (i > depth ? std::string(1, separator) : "") + path.names[i];
  }
  if (folder) *folder = *inside;
  if (name) *name = below;
  return out;
}

}  // namespace ecr
