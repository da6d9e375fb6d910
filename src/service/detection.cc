// Job detection: ticks, change events and the scan over the four ports, and
// the directory watch on top of the platform's change notifications. A
// change is reported as soon as the loop gets to it; the changes that arrive
// before then, or while the watch is suspended, are reported together. No
// change waits for a tick: a host writes SR_DATI and SR_START a moment
// apart, and the start file must not wait for a burst to settle.
#include "service/detection.h"

namespace service {

namespace {
const char kE502[] = "E502: Nessuna porta di comunicazione disponibile";
}

void WindowTimer::SetInterval(int32_t ms) {
  interval_ = ms;
  if (enabled_) Arm();
}

void WindowTimer::Start() {
  if (enabled_) return;
  enabled_ = true;
  Arm();
}

void WindowTimer::Stop() {
  enabled_ = false;
  if (id_) loop_.CancelTimer(id_);
  id_ = 0;
}

void WindowTimer::Arm() {
  if (id_) loop_.CancelTimer(id_);
  id_ = loop_.AddTimer(interval_, [this] {
    id_ = 0;
    if (!enabled_) return;
    Arm();
    onTick_();
  });
}

bool cWatchForChanges::StartWatch(const std::string& sDir, bool bStartSuspended, bool bWatchSubTree) {
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

Detection::Detection(platform::EventLoop& loop, ExchangeFiles& files, settings::Settings& settings, StatusView& view,
                     Owner& owner)
    : files_(files), settings_(settings), view_(view), owner_(owner), timer_(loop, [this] { OnTimerTick(); }),
      watcher_(loop) {
  watcher_.ChangeDetected = [this](int32_t) { OnDirectoryChanged(); };
}

void Detection::StartPolling() {
  restartTick_ = false;
  timer_.SetInterval(settings_.pollInterval);
  timer_.Start();
}

void Detection::ScanSoon() {
  restartTick_ = true;
  timer_.SetInterval(1000);
}

void Detection::Stop() {
  watcher_.StopWatch();
  timer_.Stop();
}

// Timer21_Timer
void Detection::OnTimerTick() {
  if (owner_.Occupied() && !unloading) return;
  timer_.Stop();
  if (restartTick_) {
    StartPolling();
    return;
  }
  if (heartbeat && !settings_.options.OptionFAST) {
    beat_ = !beat_;
    view_.DetectionStatus(beat_ ? "Timer ON" : "Timer on");
  }
  Scan();
}

// m_oWatchDir_ChangeDetected
void Detection::OnDirectoryChanged() {
  watcher_.SuspendWatch(true);
  if (settings_.options.OptionFAST) Scan();
  // The scan may have stopped the watch (closing); resuming is then harmless.
  watcher_.SuspendWatch(false);
}

// txtTimer_Change
void Detection::Scan() {
  // A scan inside a running unit could take a second job.
  if (owner_.Occupied() || unloading) return;
  timer_.Stop();
  int16_t n = FindJob();
  if (n >= 1 && n <= 4 && !owner_.Occupied()) owner_.RunJob(n);
  if (!settings_.options.OptionFAST && !unloading) {
    view_.TimerShown(true);
    timer_.Start();
  }
}

int16_t Detection::FindJob(bool jobsOnly) {
  bool anyAvailable = false;
  for (int16_t n = 1; n <= 4; ++n) {
    PortState& p = ports[n - 1];
    if (p.available) anyAvailable = true;
    if (!settings_.portEnabled[n - 1] || !p.available) continue;
    if (!files_.Exists(kMatr, n)) {
      if (!owner_.Occupied() && !jobsOnly) owner_.RunDump(n);
      continue;
    }
    files_.currentPort = n;
    // A folder or any other non-file in the data file's place is a job too:
    // it must be answered.
    if (files_.Exists(kStart, n) && files_.Present(kDati, n)) {
      files_.VerifyExistenceAndKill(ExchangeFileName(kFinesco, n));
      files_.SubKillFileOut();
      p.dumpPending = false;
      return n;
    }
  }
  if (!anyAvailable && !jobsOnly) {
    for (int n = 1; n <= 4; ++n) files_.WriteErrFile(kE502, n);
  }
  return 0;
}

void Detection::StartWatching() {
  const std::string& dir = files_.dataDir();
  timer_.Stop();
  if (!files_.DirectoryExists(dir)) return;
  view_.WatcherStarted();
  view_.TimerShown(false);
  view_.DetectionStatus("PRONTO");
  watcher_.StartWatch(dir, false, false);
}

}  // namespace service
