// The job service: start-up of the ports, the polling timer and the change
// notifications that run a scan, the configuration dump of each printer, one
// job at a time from detection to outcome, and the closing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "service/exchange_files.h"
#include "service/job_printer.h"
#include "service/payment_hooks.h"
#include "service/watch/watch_for_changes.h"
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

class JobService {
 public:
  // What the service needs from the program around it.
  struct Hooks {
    // One line per status text or message box ("Text2: ...").
    std::function<void(const std::string&)> show;
    std::function<void()> saveSettings;
    // Ends the program at once, without the closing (fatal file errors).
    std::function<void()> endProgram;
  };

  JobService(platform::EventLoop& loop, FileOps& fs, JobPrinter& printer, settings::Settings& settings,
             Hooks hooks);
  ~JobService();

  ExchangeFiles& files() { return files_; }
  PaymentHooks& payment() { return payment_; }

  // Probes the ports, deletes their stale files and starts Timer21.
  void Start(const std::string& dataDir);
  // Closing: clean when idle, otherwise the running exchange is abandoned.
  // The program may end once finished() holds.
  void Unload();
  bool finished() const { return finished_; }

  void Timer21_Timer();
  // One scan (the change of the hidden counter box).
  void txtTimer_Change();
  int16_t iVerifyStartPos1();
  void StartDumpConf(int16_t port);
  // The end of a dump, as the link reports it.
  void Vexocx21_EvDumpConfDone(const std::string& identification, int16_t result, const std::string& firmware);
  void StartDirWatch();
  void StopDirWatch();
  void m_oWatchDir_ChangeDetected(int32_t eChangeType);
  // The operator switches the trigger or sets a new polling interval.
  void OptionFAST_Click();
  void OptionSLOW_Click();
  void cmdChgTimer_Click(const std::string& programDir, const std::string& typedText);
  int16_t Go_Execution();
  void ShowOutcome(int16_t outcome);

  // State that the window and the tests look at.
  bool portAvailable[4] = {false, false, false, false};
  bool portBoxDisabled[4] = {false, false, false, false};
  bool bDumpConf[4] = {true, true, true, true};
  bool jobRunning = false;
  bool dumpRunning = false;
  bool unloading = false;
  bool windowShown = false;
  int16_t restartTick = 0;
  int16_t pollCounter = 0;
  bool sendAsIs = false;
  std::string errorDetail;
  WindowTimer& timer21() { return timer21_; }
  cWatchForChanges& watcher() { return watcher_; }
  // Where trace files go; the data directory unless set.
  std::string traceRoot;

 private:
  int16_t& currentPort() { return files_.currentPort; }
  void Show(const std::string& field, const std::string& text);
  void Pause(int64_t ms);
  bool OpenTrace();
  void CloseTrace();

  platform::EventLoop& loop_;
  FileOps& fs_;
  JobPrinter& printer_;
  settings::Settings& settings_;
  Hooks hooks_;
  ExchangeFiles files_;
  PaymentHooks payment_;
  WindowTimer timer21_;
  cWatchForChanges watcher_;
  std::string watchedDir_;
  std::string dataPath_, outPath_;
  FILE* trace_ = nullptr;
  bool heartbeat_ = false;
  bool endAfterJob_ = false;
  bool jobReachedPrinter_ = false;  // the running job has started its transmission
  bool finished_ = false;
};

}  // namespace service
