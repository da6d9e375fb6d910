// What the job service shows the operator: the main window and its
// notification icon on Windows, one time-stamped line per event on the Linux
// console. The service calls it; it never calls back into the service.
#pragma once

#include <cstdint>
#include <string>

#include "settings/options.h"

namespace service {

class StatusView {
 public:
  virtual ~StatusView() = default;

  // "Messaggi ECR :" (Text1): what the printer said; empty clears it.
  virtual void PrinterMessage(const std::string& text) = 0;
  // "Stato  Quil1 :" (Text2): the program's state and the last outcome.
  // `port` is the port it concerns, 0 for none.
  virtual void ProgramStatus(int16_t port, const std::string& text) = 0;
  // Text3 of the detection frame: "PRONTO" or the heartbeat "Timer ON" /
  // "Timer on".
  virtual void DetectionStatus(const std::string& text) = 0;
  // Notification icon: busy shows the busy icon (Image1) with the tip
  // "Quilo1 in esecuzione...", idle the program's icon with
  // "Quilo1 in attesa esecuzione...". `tip` is that text.
  virtual void Busy(bool busy, const std::string& tip) = 0;
  // Port indicator (Shape1, Shape2, Shape4, Shape5) green when available;
  // an unavailable port's box is cleared and disabled.
  virtual void PortAvailable(int16_t port, bool available) = 0;
  // The service changed a port box: ticked or cleared, enabled or disabled
  // (a successful dump clears and disables the other three).
  virtual void PortBox(int16_t port, bool ticked, bool enabled) = 0;
  // Text4 to Text7: "DUMP ESEGUITO", "DUMP NON ESEGUITO", or a failed
  // dump's text.
  virtual void DumpState(int16_t port, const std::string& text) = 0;
  // Text8 ("Matricola"): the identified printer's serial number.
  virtual void PrinterSerial(int16_t port, const std::string& serial) = 0;
  // txtAppDataVista: the data directory in use.
  virtual void DataDirectory(const std::string& path) = 0;
  // The watcher started: frame "Impostazioni " becomes
  // "Stato del collegamento".
  virtual void WatcherStarted() = 0;
  // txtTimerVal and cmdChgTimer shown or hidden; `timerText` is the
  // interval field's text.
  virtual void TimerControls(bool visible, const std::string& timerText) = 0;
  // The detection mode and the interval as the service holds them, after
  // the operator changed them from the console: the window's radio buttons
  // and interval field follow the page.
  virtual void DetectionSettings(bool fast, const std::string& timerText) = 0;
  // LockConfiguration (true) / UnlockConfiguration (false): the five option
  // frames disabled and " Esegui Test" and "Annulla Scontrino" enabled, or
  // the reverse.
  virtual void ConfigurationLocked(bool locked) = 0;
  // " Esegui Test" alone, disabled while a test receipt runs.
  virtual void TestButtonEnabled(bool enabled) = 0;
  // The closing notice Form1, on top: "Chiusura programma Quilo1 in corso ...".
  virtual void ClosingNotice(const std::string& text) = 0;
  // A message box (settings errors, run-time error boxes, "Set timer" refusals).
  virtual void MessageBox(const std::string& text) = 0;
  // The service changed the options (a dump that identified an RT printer
  // ticks "Abilita Estensione Pagamenti"); with `rtPrinter` "Abilita
  // Inversione Sconti su Reso" is hidden as well.
  virtual void OptionsChanged(const settings::Options& options, bool rtPrinter) = 0;
  // A line for the operator's log only (the window keeps it out of sight).
  virtual void Log(const std::string& text) = 0;
};

}  // namespace service
