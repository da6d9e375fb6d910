// Job detection: the polling timer (Timer21) and the directory watcher each
// run a scan, which identifies new printers and finds the port with a job.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/dir_watcher.h"
#include "platform/event_loop.h"
#include "service/exchange_files.h"
#include "service/status_view.h"
#include "settings/settings_store.h"

namespace service {

// A window timer: periodic while enabled, restarted by a new interval.
class WindowTimer {
 public:
  WindowTimer(platform::EventLoop& loop, std::function<void()> onTick) : loop_(loop), onTick_(std::move(onTick)) {}
  ~WindowTimer() { Stop(); }
  void SetInterval(int32_t ms);
  int32_t interval() const { return interval_; }
  void Start();
  void Stop();
  bool enabled() const { return enabled_; }

 private:
  void Arm();
  platform::EventLoop& loop_;
  std::function<void()> onTick_;
  int32_t interval_ = 1000;
  bool enabled_ = false;
  int id_ = 0;
};

// cWatchForChanges: tells its owner, on the loop thread, that something
// changed in a directory. Changes seen while suspended are kept and reported
// as one event at the first tick after resuming.
class cWatchForChanges {
 public:
  explicit cWatchForChanges(platform::EventLoop& loop) : loop_(loop) {}
  ~cWatchForChanges() { StopWatch(); }
  cWatchForChanges(const cWatchForChanges&) = delete;
  cWatchForChanges& operator=(const cWatchForChanges&) = delete;

  bool SuspendWatch() const { return suspended_; }
  void SuspendWatch(bool bNewVal);

  // Any earlier watch ends first. A change is reported at once, never after
  // a polling interval. False when `sDir` cannot be watched; the object is
  // then idle.
  bool StartWatch(const std::string& sDir, bool bStartSuspended, bool bWatchSubTree);
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

// What the service knows of each port.
struct PortState {
  bool available = false;
  // The printer has not been identified yet (bDumpConf1 to bDumpConf4).
  bool dumpPending = true;
};

class Detection {
 public:
  // What a scan hands over: the link's units of work and the closing.
  class Owner {
   public:
    virtual ~Owner() = default;
    // A unit of work holds the link, or the program is closing: no job and
    // no dump may start.
    virtual bool Occupied() = 0;
    virtual void RunDump(int16_t port) = 0;
    virtual void RunJob(int16_t port) = 0;
  };

  Detection(platform::EventLoop& loop, ExchangeFiles& files, settings::Settings& settings, StatusView& view,
            Owner& owner);

  PortState ports[4];
  // A view of the state is shown: each tick writes the heartbeat.
  bool heartbeat = false;
  bool unloading = false;

  // Timer21 from the settings' interval.
  void StartPolling();
  // The port box or the detection mode changed.
  void ResumePolling() { timer_.Start(); }
  void PausePolling() { timer_.Stop(); }
  void SetInterval(int32_t ms) { timer_.SetInterval(ms); }
  bool Polling() const { return timer_.enabled(); }
  // After a job or a dump: the next tick one second later only restarts
  // the settings' interval (restartTick).
  void ScanSoon();
  // A successful dump: change notifications from now on ("PRONTO").
  void StartWatching();
  // The closing: no tick and no change event any more.
  void Stop();

  // One scan (the hidden counter box of the polling timer).
  void Scan();
  // The port with a job, 0 when none; starts the dump of a port not yet
  // identified (iVerifyStartPos1) unless `jobsOnly`.
  int16_t FindJob(bool jobsOnly = false);

  // For the tests: one tick of Timer21 and one change event.
  void OnTimerTick();
  void OnDirectoryChanged();
  WindowTimer& timer() { return timer_; }
  cWatchForChanges& watcher() { return watcher_; }
  bool& restartTick() { return restartTick_; }

 private:
  ExchangeFiles& files_;
  settings::Settings& settings_;
  StatusView& view_;
  Owner& owner_;
  WindowTimer timer_;
  cWatchForChanges watcher_;
  bool restartTick_ = false;
  bool beat_ = false;
};

}  // namespace service
