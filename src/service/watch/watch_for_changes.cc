// cWatchForChanges on top of the platform's change notifications. A change is
// reported as soon as the loop gets to it; the changes that arrive before
// then, or while the watch is suspended, are reported together. No change
// waits for a tick: a host writes SR_DATI and SR_START a moment apart, and
// the start file must not wait for a burst to settle.
#include "service/watch/watch_for_changes.h"

namespace service {

bool cWatchForChanges::StartWatch(const std::string& sDir, int32_t nTimerInterval, bool bStartSuspended,
                                  bool bWatchSubTree) {
  StopWatch();
  suspended_ = bStartSuspended;
  source_ = platform::DirChangeSource::Open(loop_, sDir, bWatchSubTree, [this](uint32_t k) { OnChange(k); });
  if (!source_) {
    StopWatch();
    return false;
  }
  return true;
}

void cWatchForChanges::StopWatch() {
  if (tickId_) loop_.CancelTimer(tickId_);
  tickId_ = 0;
  source_.reset();
  pending_ = 0;
  suspended_ = false;
}

void cWatchForChanges::SuspendWatch(bool bNewVal) {
  suspended_ = bNewVal;
  if (!suspended_ && pending_) ScheduleTick();
}

void cWatchForChanges::OnChange(uint32_t kinds) {
  pending_ |= kinds;
  ScheduleTick();
}

void cWatchForChanges::ScheduleTick() {
  if (tickId_ || !source_) return;
  // Through the loop: the handler may end the watch, which must not happen
  // inside the notification source's own callback.
  tickId_ = loop_.AddTimer(0, [this] {
    tickId_ = 0;
    PollChanges();
  });
}

void cWatchForChanges::PollChanges() {
  if (suspended_ || !pending_) return;
  // What else is signalled by now goes with it: on Win32 the three kinds of
  // one write come on three handles.
  uint32_t kinds = pending_ | source_->Poll();
  pending_ = 0;
  // Nothing of this object is touched after the handler: it may restart or
  // stop the watch.
  if (ChangeDetected) ChangeDetected(static_cast<int32_t>(kinds));
}

}  // namespace service
