// Small secret files (the console's access token) and the system's random
// bytes. Kept apart from the file layer: the file's permissions matter here.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Where the console's token lives: a folder the program's user may create
// files in and other users may not read. On Windows the user's own local
// application data (Quilo1 below it, made when missing), as users may not
// create files in the program folder; `programDir` when the system has no
// such folder. On POSIX `programDir`, whose group is the console's users.
std::string SecretFolder(const std::string& programDir);

// The whole file (at most 4 KiB, never a link); false when missing or unreadable.
bool ReadSecretFile(const std::string& path, std::string* contents);
// Replaces the file with `bytes`, readable by its owner and its group only
// (0640) on POSIX; on Windows it takes the folder's permissions, which for
// the user's application data means the user and the administrators. A
// folder that refuses new files gets the file that is there (given to the
// program's user) written in place, never one that others may read.
bool WriteSecretFile(const std::string& path, const std::string& bytes, std::string* error);
// `n` bytes from the system's cryptographic source.
bool RandomBytes(size_t n, std::string* out);

}  // namespace platform
