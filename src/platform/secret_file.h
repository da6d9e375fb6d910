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

// The whole file (at most 4 KiB, never a link); false when missing or unreadable.
bool ReadSecretFile(const std::string& path, std::string* contents);
// Replaces the file with `bytes`, readable by its owner and its group only
// (0640) on POSIX; on Windows it takes the folder's permissions, which for
// the program's own folder means the user and the administrators.
bool WriteSecretFile(const std::string& path, const std::string& bytes, std::string* error);
// `n` bytes from the system's cryptographic source.
bool RandomBytes(size_t n, std::string* out);

}  // namespace platform
