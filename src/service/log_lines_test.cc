// The log lines' format: time stamp, port when there is one, label, text.
#include "service/log_lines.h"
#include "service/status_view.h"

#include <gtest/gtest.h>

#include <vector>

namespace service {
namespace {

TEST(LogLinesTest, OneStampedLinePerChange) {
  std::vector<std::string> lines;
  platform::LocalTime t;
  t.hour = 9;
  t.minute = 7;
  t.second = 3;
  StatusView view;
  view.Subscribe(LogLines([&](const std::string& l) { lines.push_back(l); }, [&] { return t; }));
  view.ProgramStatus(1, "QUILO1 TERMINATO : TUTTO OK");
  view.ProgramStatus(0, "TRASMISSIONE QUILO1 IN CORSO ..");
  view.DumpState(4, "-10 : DUMP NON ESEGUITO");
  view.PrinterSerial(2, "99MEY012345");
  view.PrinterMessage("");
  view.Busy(true);
  view.DetectionStatus("Timer ON");
  view.ClosingNotice("Chiusura programma Quilo1 in corso ...");
  view.Message("Connessione in corso, valore non accettato");
  view.TimerShown(false);
  settings::Options rt;
  rt.chbPagamentiEstesi = true;
  view.OptionsChanged(rt, true);
  t.hour = 23;
  t.minute = 59;
  t.second = 58;
  view.PortAvailable(3, false);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "09:07:03 COM1 Stato: QUILO1 TERMINATO : TUTTO OK",
                       "09:07:03 Stato: TRASMISSIONE QUILO1 IN CORSO ..",
                       "09:07:03 COM4 Dump: -10 : DUMP NON ESEGUITO",
                       "09:07:03 COM2 Matricola: 99MEY012345",
                       "09:07:03 Messaggi ECR:",
                       "09:07:03 Icona: Quilo1 in esecuzione...",
                       "09:07:03 Rilevamento: Timer ON",
                       "09:07:03 Icona:",
                       "09:07:03 Chiusura: Chiusura programma Quilo1 in corso ...",
                       "09:07:03 Messaggio: Connessione in corso, valore non accettato",
                       "09:07:03 Opzioni: Estensione Pagamenti si, Inversione Sconti su Reso nascosta",
                       "23:59:58 COM3 Porta: non disponibile",
                   }));
}

}  // namespace
}  // namespace service
