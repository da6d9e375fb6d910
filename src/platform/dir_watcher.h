// Change notifications on a directory, delivered through the event loop:
// inotify on POSIX, FindFirstChangeNotification handles on Win32.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"

namespace platform {

// Kinds of change, as a bit set.
inline constexpr uint32_t kChangeFileName = 1;   // created, deleted, renamed
inline constexpr uint32_t kChangeSize = 2;
inline constexpr uint32_t kChangeLastWrite = 4;

// Watching lasts as long as the object. Abstract so the watcher class above
// it could be driven by hand.
class DirChangeSource {
 public:
  virtual ~DirChangeSource() = default;

  // The kinds signalled by now and not yet delivered, taken without waiting
  // (the zero-wait poll of the notifications); they are not delivered again.
  virtual uint32_t Poll() = 0;

  // Starts watching `dir` (its subdirectories too with `subTree`; POSIX
  // watches only the directory itself). `onChange` runs from the loop with
  // the kinds seen since its last call. Null when the directory cannot be
  // watched.
  static std::unique_ptr<DirChangeSource> Open(EventLoop& loop, const std::string& dir, bool subTree,
                                               std::function<void(uint32_t kinds)> onChange);
};

}  // namespace platform
