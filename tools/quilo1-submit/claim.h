// The two calls quilo1-submit needs beyond the file layer, to take a port in
// a folder other users write too: a rename that never replaces, and who
// owns a file that is in the way.
#pragma once

#include <string>

namespace submit {

enum class ClaimResult { kDone, kTaken, kFailed };

// Moves `from` to `to` unless `to` exists in any form (kTaken): between two
// submits, the one whose name lands first owns the port.
ClaimResult MoveIfFree(const std::string& from, const std::string& to, std::string* error);

// "uid N" when `path` belongs to another user than ours, empty otherwise
// or when the system cannot say.
std::string OtherOwner(const std::string& path);

}  // namespace submit
