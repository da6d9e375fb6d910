// Creating a directory whose name is bytes in the system code page.
#pragma once

#include <string>

namespace platform {

// True when `path` is a directory afterwards (it existed or was made). Only
// the last component is created.
bool MakeDirectory(const std::string& path);

}  // namespace platform
