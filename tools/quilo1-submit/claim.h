// The calls quilo1-submit needs beyond the file layer, to take a port in a
// folder other users write too: a lock held from before the document is
// written until its answer is read, a rename that never replaces, and who
// owns a file that is in the way.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace submit {

enum class ClaimResult { kDone, kTaken, kFailed };

// One submit's hold on a port: an exclusive lock on a file of its own in the
// data directory. The system drops it when the process ends, however it
// ends, so a killed submit leaves no claim behind.
class PortLock {
 public:
  virtual ~PortLock() = default;  // releases the lock; the file stays

  // Opens `path` (made when missing, never through a link, only a regular
  // file) and locks it, waiting up to `waitMs` while another submit holds
  // it. kTaken when the wait ran out, kFailed with `error` when the file
  // cannot be had.
  static std::unique_ptr<PortLock> Take(const std::string& path, int64_t waitMs, ClaimResult* result,
                                        std::string* error);
};

// Moves `from` to `to` unless `to` exists in any form (kTaken): between two
// submits, the one whose name lands first owns the port.
ClaimResult MoveIfFree(const std::string& from, const std::string& to, std::string* error);

// "uid N" when `path` belongs to another user than ours, empty otherwise
// or when the system cannot say.
std::string OtherOwner(const std::string& path);

}  // namespace submit
