// A helper program started and ended by this one (the virtual printer of
// the demo set-up). POSIX only; Create fails on Win32.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace platform {

class ChildProcess {
 public:
  // Ends the child (terminate, then wait for it).
  virtual ~ChildProcess() = default;
  virtual bool Running() = 0;
  // The system's process id.
  virtual long Id() const = 0;

  // Starts `argv[0]` (searched on PATH when it has no "/") with the other
  // elements as arguments; its output goes to `logPath` when not empty.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& argv, const std::string& logPath,
                                             std::string* error);
};

}  // namespace platform
