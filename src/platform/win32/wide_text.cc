#include "platform/win32/wide_text.h"

#include <windows.h>

namespace platform {

std::wstring Widen(std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  std::wstring wide(size_t(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

}  // namespace platform
