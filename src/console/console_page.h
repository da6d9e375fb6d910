// The console's one page: HTML, CSS and JavaScript in one string, with the
// access token written in; nothing is fetched from elsewhere.
#pragma once

#include <string>

namespace console {

// UTF-8 HTML.
std::string ConsolePage(const std::string& token);

}  // namespace console
