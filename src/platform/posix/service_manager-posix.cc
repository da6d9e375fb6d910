// systemd's notify protocol through libsystemd: the socket named by
// NOTIFY_SOCKET, the watchdog time by WATCHDOG_USEC for our pid only.
#include <systemd/sd-daemon.h>

#include "platform/service_manager.h"

namespace platform {
namespace {

class SystemdManager : public ServiceManager {
 public:
  SystemdManager() {
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0) aliveMs_ = static_cast<int64_t>(usec / 2000);
    if (usec > 0 && aliveMs_ == 0) aliveMs_ = 1;
  }
  void Ready() override { sd_notify(0, "READY=1"); }
  void Status(const std::string& utf8) override { sd_notify(0, ("STATUS=" + utf8).c_str()); }
  void Alive() override { sd_notify(0, "WATCHDOG=1"); }
  void Stopping() override { sd_notify(0, "STOPPING=1"); }
  int64_t AliveIntervalMs() const override { return aliveMs_; }

 private:
  int64_t aliveMs_ = 0;
};

}  // namespace

std::unique_ptr<ServiceManager> ServiceManager::Create() { return std::make_unique<SystemdManager>(); }

}  // namespace platform
