// The operating system's answers that decide where the data directory is:
// its version, the shared application-data folder and directory tests.
#pragma once

#include <string>

namespace platform {

// True on the Windows NT family from Vista on, which a program without a
// compatibility manifest sees as major version 6. Always false on POSIX.
bool IsNtVersion6();

// The application-data folder shared by all users (created when missing),
// without a trailing separator. False when the system query failed; true
// with an empty path when the system has no such folder (POSIX).
bool CommonAppDataFolder(std::string* path);

// True when `path` names an existing directory. Paths are bytes in the
// system's code page, never converted.
bool DirectoryExists(const std::string& path);

}  // namespace platform
