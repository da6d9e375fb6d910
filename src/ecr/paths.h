// Where a document may make the program write: the daily totals of a "READ"
// line go inside the data directory or a folder the operator allowed.
#pragma once

#include <string>
#include <vector>

namespace ecr {

// Windows file names ignore case; POSIX ones do not.
#ifdef _WIN32
inline constexpr bool kPathsIgnoreCase = true;
#else
inline constexpr bool kPathsIgnoreCase = false;
#endif

// The file a "READ" line may write for `target`: taken from `dataDir` when
// it is relative, "." and ".." resolved by the letters alone (both '/' and
// '\' separate), written with `separator`. "" when the result is not inside
// `dataDir` nor inside one of `allowedDirs`.
std::string AllowedReadTarget(const std::string& target, const std::string& dataDir,
                              const std::vector<std::string>& allowedDirs, char separator,
                              bool ignoreCase = kPathsIgnoreCase);

}  // namespace ecr
