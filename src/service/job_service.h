// The job service: start-up of the ports, the polling timer and the change
// notifications that run a scan, the configuration dump of each printer, one
// job at a time from detection to outcome, the operator's actions and the
// closing. It shows everything through its status view.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "service/exchange_files.h"
#include "service/job_printer.h"
#include "service/operator_actions.h"
#include "service/payment_step.h"
#include "service/status_view.h"
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

// What the service needs from the program around it.
class ProgramHost {
 public:
  virtual ~ProgramHost() = default;
  virtual void SaveSettings() = 0;
  // Ends the program at once, without the closing (fatal file errors).
  virtual void EndProgram() = 0;
};

class JobService : public OperatorActions, private ExchangeFiles::Owner {
 public:
  // `payment` may be null: no card payment. `programDir` is where "Set
  // timer" stores the interval.
  JobService(platform::EventLoop& loop, FileOps& fs, platform::FileSystem& disk, JobPrinter& printer,
             settings::Settings& settings, StatusView& view, ProgramHost& host, PaymentStep* payment,
             std::string programDir);
  ~JobService() override;

  // Probes the ports, deletes their stale files and starts Timer21.
  void Start(const std::string& dataDir);

  void SetPortEnabled(int16_t port, bool ticked) override;
  void SelectFastDetection() override;
  void SelectTimerDetection() override;
  void SetTimerValue(const std::string& typedText) override;
  void ShowMainWindow() override;
  void WindowMinimised() override;
  void PrintTestReceipt() override;
  void CancelReceipt() override;
  // Closing: clean when idle, otherwise the running exchange is abandoned.
  void Unload() override;
  bool Finished() const override { return finished_; }
  bool PortAvailable(int16_t port) const override;
  bool WindowShown() const override { return windowShown_; }

 private:
  friend class JobServiceTest;

  void Timer21_Timer();
  // One scan (the change of the hidden counter box).
  void txtTimer_Change();
  int16_t iVerifyStartPos1();
  void StartDumpConf(int16_t port);
  // The end of a dump: SR_MATR or SR_ERR, the other ports, the window.
  void DumpDone(int16_t result);
  void StartDirWatch();
  // Start-up: keeps a copy of the data file of a job that was cut off.
  void KeepInterruptedDocument(int16_t port);
  // "Annulla Scontrino" on `port`: the commands that cancel an open receipt.
  void SendCancelSequence(int16_t port);
  // A data file that is a folder or cannot be read ends its job with SR_ERR.
  bool RefuseUnreadableDocument(int16_t port);
  void m_oWatchDir_ChangeDetected();
  int16_t Go_Execution();
  void ShowOutcome(int16_t outcome);
  void Pause(int64_t ms);
  bool OpenTrace();
  void CloseTrace();
  // ExchangeFiles::Owner
  std::string LastErrorCode() override { return printer_.LastErrorCode(); }
  void FatalFileError() override;

  platform::EventLoop& loop_;
  FileOps& fs_;
  platform::FileSystem& disk_;
  JobPrinter& printer_;
  settings::Settings& settings_;
  StatusView& view_;
  ProgramHost& host_;
  PaymentStep* payment_;
  const std::string programDir_;
  ExchangeFiles files_;
  WindowTimer timer21_;
  cWatchForChanges watcher_;
  std::string dataPath_, outPath_;
  FILE* trace_ = nullptr;

  bool portAvailable_[4] = {false, false, false, false};
  // A job was cut off (crash or power cut) on the port: its printer may still
  // hold the receipt open, to be cancelled before the next job.
  bool interrupted_[4] = {false, false, false, false};
  bool bDumpConf_[4] = {true, true, true, true};
  bool jobRunning_ = false;
  bool dumpRunning_ = false;
  bool unloading_ = false;
  bool windowShown_ = false;
  bool sendAsIs_ = false;
  int16_t restartTick_ = 0;
  std::string errorDetail_;
  bool heartbeat_ = false;
  bool endAfterJob_ = false;
  bool jobReachedPrinter_ = false;  // the running job has started its transmission
  bool finished_ = false;
};

}  // namespace service
