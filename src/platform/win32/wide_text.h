// Text between the program's bytes, in the system code page, and the wide
// (UTF-16) strings of the Win32 calls.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::wstring Widen(std::string_view bytes);
std::string Narrow(std::wstring_view wide);

}  // namespace platform
