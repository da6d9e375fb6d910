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
// it is relative, "." dropped (both '/' and '\' separate), written with
// `separator`. "" when it is not inside `dataDir` nor inside one of
// `allowedDirs`, or has a ".." part: the letters cannot tell where ".."
// leads once a folder on the way is a link. `*folder` gets the folder it is
// inside, as configured, and `*name` the rest, for a write below that folder.
std::string AllowedReadTarget(const std::string& target, const std::string& dataDir,
                              const std::vector<std::string>& allowedDirs, char separator,
                              bool ignoreCase = kPathsIgnoreCase, std::string* folder = nullptr,
                              std::string* name = nullptr);

}  // namespace ecr
