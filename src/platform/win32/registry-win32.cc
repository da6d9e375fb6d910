// Registry values through the ANSI functions, so string values arrive as
// bytes in the system code page and are never widened.
#include <windows.h>

#include <cstdint>

#include "platform/registry.h"

namespace platform {
namespace {

// Read, set value, create and enumerate subkeys, notify, create link.
constexpr REGSAM kKeyAccess = 0x2003F;
constexpr DWORD kBufferSize = 1024;

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kCurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

// The number's four bytes from the last to the first are its hexadecimal
// digits; the text is that number in decimal.
std::string DwordText(const unsigned char* bytes) {
  uint32_t n = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
               uint32_t(bytes[3]) << 24;
  return std::to_string(n);
}

}  // namespace

bool ReadRegistryValue(RegistryRoot root, const std::string& key_path,
                       const std::string& value_name, std::string* value) {
  if (!RegistryKeyPathValid(key_path)) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(RootKey(root), key_path.c_str(), 0, kKeyAccess, &key) != ERROR_SUCCESS)
    return false;
  unsigned char buffer[kBufferSize] = {};
  DWORD size = kBufferSize;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, value_name.c_str(), nullptr, &type, buffer, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return false;
  if (size > kBufferSize) size = kBufferSize;
  std::string text(reinterpret_cast<const char*>(buffer), size);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  switch (type) {
    case REG_SZ:
      *value = text;
      break;
    case REG_DWORD:
      // The buffer was zero-filled, so a short number still has four bytes.
      *value = DwordText(buffer);
      break;
    default:
      value->clear();
      break;
  }
  return true;
}

}  // namespace platform
