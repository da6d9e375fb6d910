// Quilo1.exe runs in the user's session, started by nobody who listens.
#include "platform/service_manager.h"

namespace platform {
namespace {

class NoManager : public ServiceManager {
 public:
  void Ready() override {}
  void Status(const std::string&) override {}
  void Alive() override {}
  void Stopping() override {}
  int64_t AliveIntervalMs() const override { return 0; }
};

}  // namespace

std::unique_ptr<ServiceManager> ServiceManager::Create() { return std::make_unique<NoManager>(); }

}  // namespace platform
