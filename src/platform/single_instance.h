// One running copy of the program: per runtime directory or program
// directory (POSIX: a lock on a file) or per machine (Win32: a named mutex).
#pragma once

#include <memory>
#include <string>

namespace platform {

class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // Null when another instance already holds the lock. `*name` receives what
  // is locked (a file, a mutex name) for the messages; `*note` a line worth
  // logging when the lock could not be taken as planned (empty otherwise).
  // Either may be null.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& programDir, std::string* name = nullptr,
                                               std::string* note = nullptr);
};

}  // namespace platform
