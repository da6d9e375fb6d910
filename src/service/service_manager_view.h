// The service manager (systemd) kept informed from the published state:
// ready once the first identification has run, found or not, or at once
// when no port is there to identify; the state banner as its status line;
// alive from a timer of the loop, so a loop that stops answering is noticed;
// stopping when the closing begins.
#pragma once

#include <string>

#include "platform/event_loop.h"
#include "platform/service_manager.h"
#include "service/status_view.h"

namespace service {

// `text` (Windows-1252) as one line of UTF-8: controls become spaces, bytes
// the code page lacks "?".
std::string StatusLineUtf8(const std::string& text);

class ServiceManagerView {
 public:
  ServiceManagerView(StatusView& view, platform::ServiceManager& manager);

  // Pings the manager from `loop`'s timer while the loop runs; nothing when
  // no watchdog waits. The loop outlives the pings: they stop with it.
  void KeepAlive(platform::EventLoop& loop);

 private:
  void Seen(const ServiceState& state, StateChange change);
  void Ready();
  void Ping(platform::EventLoop& loop);

  platform::ServiceManager& manager_;
  bool ready_ = false;
  bool stopping_ = false;
};

}  // namespace service
