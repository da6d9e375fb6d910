// The service manager that started the program, told how it is doing: systemd
// through its notify socket on Linux; nobody listens on Win32.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // READY=1: the program has started and may be waited for.
  virtual void Ready() = 0;
  // STATUS=: one line of UTF-8 for `systemctl status`.
  virtual void Status(const std::string& utf8) = 0;
  // WATCHDOG=1: the loop still answers.
  virtual void Alive() = 0;
  // STOPPING=1: the closing has begun.
  virtual void Stopping() = 0;
  // How often Alive() must come, in milliseconds (half the manager's
  // watchdog time); 0 when no watchdog waits for it.
  virtual int64_t AliveIntervalMs() const = 0;

  // Reads the manager's socket and watchdog time from the environment.
  static std::unique_ptr<ServiceManager> Create();
};

}  // namespace platform
