// One running copy of the program per program directory (POSIX: a lock on
// a file there) or per machine (Win32: a named mutex).
#pragma once

#include <memory>
#include <string>

namespace platform {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Null when another instance already holds the lock.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& programDir);
};

}  // namespace platform
