// What every file layer shares: the split of a name below a base folder,
// and the refusals of a layer that cannot look below one safely.
#include "platform/file_system.h"

namespace platform {

bool SplitBeneath(const std::string& name, std::vector<std::string>* parts) {
#ifdef _WIN32
  const char* separators = "/\\";
  // "C:x" names a folder of its own, "x:y" a stream of x: neither is a plain name.
  if (name.find(':') != std::string::npos) return false;
#else
  const char* separators = "/";
#endif
  parts->clear();
  if (name.empty() || name.find_first_of(separators) == 0) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(separators, start);
    if (end == std::string::npos) end = name.size();
    std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts->push_back(part);
    start = end + 1;
  }
  return !parts->empty();
}

bool FileSystem::WriteBeneath(const std::string&, const std::string&, const std::string&, std::string* error) {
  if (error) *error = "not supported";
  return false;
}

bool FileSystem::AppendBeneath(const std::string&, const std::string&, const std::string&, std::string* error) {
  if (error) *error = "not supported";
  return false;
}

bool FileSystem::RemoveBeneath(const std::string&, const std::string&) { return false; }

}  // namespace platform
