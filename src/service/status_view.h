// The service's side of what the operator sees: it keeps the one
// ServiceState, and every call changes it and hands a copy, with what
// changed, to each subscriber (the window, the log lines, the console).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "service/service_state.h"
#include "settings/settings_store.h"

namespace service {

class StatusView {
 public:
  using Subscriber = std::function<void(const ServiceState& state, StateChange change)>;

  StatusView();
  const ServiceState& state() const { return state_; }
  // Subscribers are told in the order they came; the id ends the subscription.
  int Subscribe(Subscriber subscriber);
  void Unsubscribe(int id);

  // "Messaggi ECR": what the printer said; empty clears it.
  void PrinterMessage(const std::string& text) { Set(&ServiceState::printerMessage, text, Shown::kPrinterMessage); }
  // "Stato": the program's state and the last outcome, for `port` (0: none).
  void ProgramStatus(int16_t port, const std::string& text) {
    Set(&ServiceState::programStatus, text, Shown::kProgramStatus, port);
  }
  // "PRONTO" or the heartbeat "Timer ON" / "Timer on".
  void DetectionStatus(const std::string& text) { Set(&ServiceState::detectionText, text, Shown::kDetectionText); }
  // The notification icon: busy or idle, with its tip.
  void Busy(bool busy);
  // The port's lamp; an unavailable port's box is cleared and shut.
  void PortAvailable(int16_t port, bool available);
  void PortBox(int16_t port, bool ticked, bool enabled);
  // "DUMP ESEGUITO", "DUMP NON ESEGUITO", or a failed dump's text.
  void DumpState(int16_t port, const std::string& text) {
    SetPort(&PortStatus::dumpState, port, text, Shown::kDumpState);
  }
  // "Matricola": the identified printer's serial number; `rt` an RT printer.
  void PrinterSerial(int16_t port, const std::string& serial, bool rt = false);
  void DataDirectory(const std::string& path) { Set(&ServiceState::dataDirectory, path, Shown::kDataDirectory); }
  // The watcher started: the detection frame becomes "Stato del collegamento".
  void WatcherStarted() { Set(&ServiceState::watching, true, Shown::kWatching); }
  // The interval field and "Set timer" shown or hidden.
  void TimerShown(bool shown) { Set(&ServiceState::timerShown, shown, Shown::kTimerShown); }
  // The port boxes, the detection mode and the interval as the settings hold
  // them: at start and after the operator changed them. kTimerText: the
  // interval field is written again too.
  void SettingsShown(const settings::Settings& settings, Shown what = Shown::kDetectionMode);
  // A ticked port box locks the option frames and frees " Esegui Test" and
  // "Annulla Scontrino".
  void ConfigurationLocked(bool locked) { Set(&ServiceState::configurationLocked, locked, Shown::kConfiguration); }
  // " Esegui Test" may run, unless a test receipt is running.
  void TestAvailable(bool available) { Set(&ServiceState::testAvailable, available, Shown::kTestAvailable); }
  // The service changed the options; `rtPrinter` hides "Abilita Inversione
  // Sconti su Reso".
  void OptionsChanged(const settings::Options& options, bool rtPrinter);
  // The closing began: the icon goes, Form1 shows `text`.
  void ClosingNotice(const std::string& text);
  // A message box: settings errors, run-time errors, refusals.
  void Message(const std::string& text) { Set(&ServiceState::lastMessage, text, Shown::kMessage); }
  // A line for the operator's log only.
  void Log(const std::string& text) { Set(&ServiceState::lastNote, text, Shown::kNote); }
  // The unit of work running and those waiting; the figures since start.
  void Units(int runningPort, const std::string& running, int queued, uint64_t paperEndWaits,
             uint64_t recoveries);

 private:
  void Publish(Shown what, int16_t port = 0);
  // One field changed, then published.
  template <typename T, typename V>
  void Set(T ServiceState::*field, const V& value, Shown what, int16_t port = 0) {
    state_.*field = value;
    Publish(what, port);
  }
  template <typename T, typename V>
  void SetPort(T PortStatus::*field, int16_t port, const V& value, Shown what) {
    if (PortStatus* p = Port(port)) {
      p->*field = value;
      Publish(what, port);
    }
  }
  PortStatus* Port(int16_t port) { return port >= 1 && port <= 4 ? &state_.ports[port - 1] : nullptr; }

  ServiceState state_;
  std::vector<std::pair<int, Subscriber>> subscribers_;
  int nextId_ = 1;
};

}  // namespace service
