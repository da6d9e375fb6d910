// The time-stamped log lines of the Linux daemon.
#include "service/log_lines.h"

#include <cstdio>

namespace service {

std::string StatusLine(const platform::LocalTime& time, int16_t port, const std::string& label,
                       const std::string& text) {
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", time.hour % 100, time.minute % 100, time.second % 100);
  std::string line = stamp;
  if (port != 0) line += " COM" + std::to_string(port);
  line += " " + label;
  if (!text.empty()) line += " " + text;
  return line;
}

bool LogEntry(const ServiceState& s, StateChange change, std::string* label, std::string* text) {
  const PortStatus& p = s.ports[change.port >= 1 && change.port <= 4 ? change.port - 1 : 0];
  auto entry = [&](const char* l, const std::string& t) {
    *label = l;
    *text = t;
    return true;
  };
  switch (change.what) {
    case Shown::kPrinterMessage: return entry("Messaggi ECR:", s.printerMessage);
    case Shown::kProgramStatus: return entry("Stato:", s.programStatus);
    case Shown::kDetectionText: return entry("Rilevamento:", s.detectionText);
    case Shown::kTrayIcon: return entry("Icona:", s.trayTip);
    case Shown::kPortAvailable: return entry("Porta:", p.available ? "disponibile" : "non disponibile");
    case Shown::kPortBox:
      return entry("Casella:", std::string(p.ticked ? "attiva" : "non attiva") + (p.enabled ? "" : ", bloccata"));
    case Shown::kDumpState: return entry("Dump:", p.dumpState);
    case Shown::kSerial: return entry("Matricola:", p.serial);
    case Shown::kDataDirectory: return entry("Dati:", s.dataDirectory);
    case Shown::kWatching: return entry("Rilevamento:", "Stato del collegamento");
    case Shown::kConfiguration: return entry("Configurazione:", s.configurationLocked ? "bloccata" : "modificabile");
    case Shown::kClosingNotice: return entry("Chiusura:", s.closingNotice);
    case Shown::kMessage: return entry("Messaggio:", s.lastMessage);
    case Shown::kNote: return entry("Nota:", s.lastNote);
    case Shown::kOptions:
      return entry("Opzioni:", std::string("Estensione Pagamenti ") + (s.options.chbPagamentiEstesi ? "si" : "no") +
                                   ", Inversione Sconti su Reso " +
                                   (s.rtPrinter ? "nascosta" : s.options.chbInversioneScontiSuReso ? "si" : "no"));
    default: return false;  // controls only a window has
  }
}

std::function<void(const ServiceState&, StateChange)> LogLines(std::function<void(const std::string&)> write,
                                                              std::function<platform::LocalTime()> clock) {
  if (!write) {
    write = [](const std::string& line) {
      std::string l = line + "\n";
      std::fwrite(l.data(), 1, l.size(), stderr);
      std::fflush(stderr);
    };
  }
  if (!clock) clock = platform::NowLocal;
  return [write, clock](const ServiceState& state, StateChange change) {
    std::string label, text;
    if (LogEntry(state, change, &label, &text)) write(StatusLine(clock(), change.port, label, text));
  };
}

}  // namespace service
