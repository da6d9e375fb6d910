// The console's one page: HTML, CSS and JavaScript in one string; nothing is
// fetched from elsewhere. The page never carries the access token.
#pragma once

#include <string>

namespace console {

// UTF-8 HTML; `signedIn` false gives the read-only page with how to log in.
std::string ConsolePage(bool signedIn);
// The answer to a login link with a wrong token.
std::string LoginRefusedPage();

}  // namespace console
