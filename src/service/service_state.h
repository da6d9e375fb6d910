// What the operator sees of the service, as one value: the service keeps it
// and publishes a copy at every change; the window, the log lines, the
// console page, /api/status and /metrics render that copy.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/options.h"

namespace service {

// The notification icon's tips, idle and busy.
inline constexpr char kIdleTip[] = "Quilo1 in attesa esecuzione...";
inline constexpr char kBusyTip[] = "Quilo1 in esecuzione...";

struct PortStatus {
  int port = 0;            // 1 to 4
  bool available = false;  // the green lamp
  bool ticked = false;     // the port's box
  bool enabled = true;     // the box may be changed
  std::string dumpState;   // "DUMP ESEGUITO", "DUMP NON ESEGUITO", a failed dump's text, or empty
  std::string serial;      // "Matricola": the identified printer's serial number
  std::string mode;        // "RT", "MF" or empty
};

struct ServiceState {
  ServiceState() {
    for (int n = 1; n <= 4; ++n) ports[n - 1].port = n;
  }
  std::array<PortStatus, 4> ports;
  std::string printerMessage;  // "Messaggi ECR :"
  std::string programStatus;   // "Stato  Quil1 :", then the closing notice
  std::string detectionText;   // "PRONTO", or the heartbeat "Timer ON" / "Timer on"
  bool watching = false;       // the detection frame reads "Stato del collegamento"
  bool fastDetection = false;  // "Notifica (Fast)" rather than "Timer    (Slow)"
  bool timerShown = false;     // the interval field and "Set timer" are shown
  std::string timerText;       // the interval field's text
  int64_t intervalMs = 0;      // the polling interval in force
  settings::Options options;
  bool rtPrinter = false;      // an RT printer: "Abilita Inversione Sconti su Reso" is hidden
  bool configurationLocked = false;
  bool testAvailable = true;   // no test receipt runs
  bool busy = false;
  std::string trayTip = kIdleTip;
  int runningPort = 0;         // port of the unit of work running, 0 for none
  std::string runningUnit;     // what it is ("job", "dump", ...), empty for none
  int queued = 0;              // units of work waiting
  uint64_t paperEndWaits = 0;  // since start
  uint64_t journalRecoveries = 0;
  std::string dataDirectory;
  std::string closingNotice;   // Form1's text once the closing began
  std::string lastMessage;     // the last message box
  std::string lastNote;        // the last line for the operator's log only
  std::string version;

  // " Esegui Test" may be pressed.
  bool testEnabled() const { return configurationLocked && testAvailable; }
};

// What one publication changed, and the port it concerns (0 for none): the
// log writes one line for it, the window redraws that part.
enum class Shown {
  kPrinterMessage, kProgramStatus, kDetectionText, kTrayIcon, kPortAvailable, kPortBox, kDumpState,
  kSerial, kDataDirectory, kWatching, kTimerShown, kDetectionMode, kTimerText, kConfiguration, kTestAvailable,
  kOptions, kClosingNotice, kMessage, kNote, kUnits,
};

struct StateChange {
  Shown what;
  int16_t port = 0;
};

}  // namespace service
