// cWatchForChanges: tells its owner, on the loop thread, that something
// changed in a directory. Changes seen while suspended are kept and reported
// as one event at the first tick after resuming.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dir_watcher.h"
#include "platform/event_loop.h"

namespace service {

class cWatchForChanges {
 public:
  explicit cWatchForChanges(platform::EventLoop& loop) : loop_(loop) {}
  ~cWatchForChanges() { StopWatch(); }
  cWatchForChanges(const cWatchForChanges&) = delete;
  cWatchForChanges& operator=(const cWatchForChanges&) = delete;

  bool SuspendWatch() const { return suspended_; }
  void SuspendWatch(bool bNewVal);

  // Any earlier watch ends first. A change is reported at once, never after
  // a polling interval: `nTimerInterval` (the 5 ms poll of the notification
  // handles elsewhere) is taken for the callers' sake and not waited for. False when `sDir` cannot be
  // watched; the object is then idle.
  bool StartWatch(const std::string& sDir, int32_t nTimerInterval, bool bStartSuspended, bool bWatchSubTree);
  // Harmless when not watching.
  void StopWatch();
  bool watching() const { return source_ != nullptr; }

  // Raised with the kinds (1 file name, 2 size, 4 last write) as a bit set.
  // The handler may suspend, stop or restart the watch.
  std::function<void(int32_t eChangeType)> ChangeDetected;

 private:
  void OnChange(uint32_t kinds);
  void ScheduleTick();
  void PollChanges();

  platform::EventLoop& loop_;
  std::unique_ptr<platform::DirChangeSource> source_;
  bool suspended_ = false;
  uint32_t pending_ = 0;
  int tickId_ = 0;
};

}  // namespace service
