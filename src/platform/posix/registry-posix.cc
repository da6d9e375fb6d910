// The registry on POSIX: a value is the environment variable of the same
// name (CustomPathDataDir moves the data directory as it does on Windows).
#include <cstdlib>

#include "platform/registry.h"

namespace platform {

bool ReadRegistryValue(RegistryRoot root, const std::string& key_path,
                       const std::string& value_name, std::string* value) {
  if (!RegistryKeyPathValid(key_path) || value_name.empty()) return false;
  const char* text = std::getenv(value_name.c_str());
  if (!text) return false;
  *value = text;
  return true;
}

}  // namespace platform
