// Runs tools/virtual-ecr as a child process on a fresh pseudo-terminal, for
// the end-to-end tests and the benchmark of the printer link.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

class VirtualEcrProcess {
 public:
  VirtualEcrProcess() = default;
  ~VirtualEcrProcess() { Stop(); }
  VirtualEcrProcess(const VirtualEcrProcess&) = delete;
  VirtualEcrProcess& operator=(const VirtualEcrProcess&) = delete;

  // Starts `program` with `args` and waits for the slave path it prints.
  bool Start(const std::string& program, const std::vector<std::string>& args, std::string* error);
  // Ends the child (SIGTERM) and reaps it.
  void Stop();

  const std::string& slavePath() const { return slave_; }
  pid_t pid() const { return pid_; }
  // User plus system CPU time of the running child, from /proc, in ms.
  double CpuMs() const;

 private:
  pid_t pid_ = -1;
  std::string slave_;
};

}  // namespace e2e
