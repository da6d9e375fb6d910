// One value of the current user's registry, read as text. POSIX has no
// registry: there the value comes from the environment variable of its name.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class RegistryRoot { kCurrentUser };

// A key path is relative to its root, its parts joined by single
// backslashes. Anything else is refused before the registry is asked,
// so a malformed path can never open a key it did not mean.
inline bool RegistryKeyPathValid(std::string_view key_path) {
  if (!key_path.empty() && (key_path.front() == '\\' || key_path.back() == '\\')) return false;
  return key_path.find("\\\\") == std::string_view::npos;
}

// Found flag and value text. A string value comes back as stored (one
// trailing zero byte dropped), a 32-bit number as its unsigned decimal
// digits, any other type as an empty text that still counts as found.
// Every failure, an invalid key path included, is "not found".
bool ReadRegistryValue(RegistryRoot root, const std::string& key_path,
                       const std::string& value_name, std::string* value);

}  // namespace platform
