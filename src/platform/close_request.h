// The operator's request to close the program: SIGINT or SIGTERM on POSIX,
// a console control event on Win32, delivered through the event loop.
#pragma once

#include <functional>
#include <memory>

#include "platform/event_loop.h"

namespace platform {

class CloseRequest {
 public:
  virtual ~CloseRequest() = default;
  // `onClose` runs from the loop, once per request.
  static std::unique_ptr<CloseRequest> Install(EventLoop& loop, std::function<void()> onClose);
};

}  // namespace platform
