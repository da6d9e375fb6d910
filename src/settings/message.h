// How the settings code tells the operator something: the caller decides
// whether that is a message box or a line on stderr.
#pragma once

#include <functional>
#include <string>

namespace settings {

using MessageFn = std::function<void(const std::string& text)>;

}  // namespace settings
