// The Linux daemon's status view: one line per event on standard error, with
// the local time and the port it concerns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/system.h"
#include "service/status_view.h"

namespace service {

// "12:47:03 COM1 Stato: QUILO1 TERMINATO : TUTTO OK"; port 0 leaves the
// port out.
std::string StatusLine(const platform::LocalTime& time, int16_t port, const std::string& label,
                       const std::string& text);

class ConsoleStatusView : public StatusView {
 public:
  using Clock = std::function<platform::LocalTime()>;
  using Writer = std::function<void(const std::string& line)>;
  // Standard error and the system clock unless given.
  explicit ConsoleStatusView(Writer write = nullptr, Clock clock = nullptr);

  void PrinterMessage(const std::string& text) override { Line(0, "Messaggi ECR:", text); }
  void ProgramStatus(int16_t port, const std::string& text) override { Line(port, "Stato:", text); }
  void DetectionStatus(const std::string& text) override { Line(0, "Rilevamento:", text); }
  void Busy(bool busy, const std::string& tip) override { Line(0, "Icona:", tip); }
  void PortAvailable(int16_t port, bool available) override {
    Line(port, "Porta:", available ? "disponibile" : "non disponibile");
  }
  void PortBox(int16_t port, bool ticked, bool enabled) override {
    Line(port, "Casella:", std::string(ticked ? "attiva" : "non attiva") + (enabled ? "" : ", bloccata"));
  }
  void DumpState(int16_t port, const std::string& text) override { Line(port, "Dump:", text); }
  void PrinterSerial(int16_t port, const std::string& serial) override { Line(port, "Matricola:", serial); }
  void DataDirectory(const std::string& path) override { Line(0, "Dati:", path); }
  void WatcherStarted() override { Line(0, "Rilevamento:", "Stato del collegamento"); }
  // Controls that only a window has: nothing to write.
  void TimerControls(bool visible, const std::string& timerText) override {}
  void TestButtonEnabled(bool enabled) override {}
  void DetectionSettings(bool fast, const std::string& timerText) override {}
  void ConfigurationLocked(bool locked) override {
    Line(0, "Configurazione:", locked ? "bloccata" : "modificabile");
  }
  void ClosingNotice(const std::string& text) override { Line(0, "Chiusura:", text); }
  void MessageBox(const std::string& text) override { Line(0, "Messaggio:", text); }
  void OptionsChanged(const settings::Options& o, bool rtPrinter) override {
    Line(0, "Opzioni:", std::string("Estensione Pagamenti ") + (o.chbPagamentiEstesi ? "si" : "no") +
                            ", Inversione Sconti su Reso " +
                            (rtPrinter ? "nascosta" : o.chbInversioneScontiSuReso ? "si" : "no"));
  }
  void Log(const std::string& text) override { Line(0, "Nota:", text); }

 private:
  void Line(int16_t port, const char* label, const std::string& text);

  Writer write_;
  Clock clock_;
};

}  // namespace service
