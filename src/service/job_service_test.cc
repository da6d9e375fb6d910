// Start-up, dumps, jobs, payments, closing and recovery of the job service
// against a fake printer, the virtual-time loop and a temporary data directory.
#include "testing/job_service_test.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "service/journal.h"
#include "service/sha256.h"

namespace service {
namespace {

TEST_F(JobServiceTest, StartDeletesStaleFilesOfAvailablePortsOnly) {
  printer.available[1] = false;
  for (const char* name : {"SR_START.001", "SR_DATI.001", "FINESCO.001", "SR_ERR.003", "SR_MATR.004",
                           "SR_DATI.002", "SR_ERR.002"})
    WriteFileBytes(P(name), "x");
  svc->Start(dir.path());
  for (const char* name : {"SR_START.001", "SR_DATI.001", "FINESCO.001", "SR_ERR.003", "SR_MATR.004"})
    EXPECT_FALSE(FileExists(P(name))) << name;
  EXPECT_TRUE(FileExists(P("SR_DATI.002")));
  EXPECT_TRUE(FileExists(P("SR_ERR.002")));
  EXPECT_FALSE(settings.portEnabled[1]);
  EXPECT_TRUE(Shown("Check2: cleared disabled"));
  EXPECT_TRUE(timer21().enabled());
  EXPECT_TRUE(Shown("tip: Quilo1 in attesa esecuzione..."));
  // COM1, COM3 and COM4 stay ticked, so the options start locked.
  EXPECT_TRUE(Shown("frames: locked"));
}

TEST_F(JobServiceTest, FirstSuccessfulDumpServesOnlyThatPort) {
  printer.dumpResult[0] = -8;
  StartIdentified();
  EXPECT_EQ(printer.log, (std::vector<std::string>{"dump 1", "close 1", "dump 2"}));
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")),
            "E501: Dump non eseguito, verificare se Ecr in errore o non connesso\r\n");
  EXPECT_EQ(ReadFileBytes(P("SR_MATR.002")).substr(0, 14), "CU100002\r\nMF\r\n");
  EXPECT_FALSE(settings.portEnabled[0]);
  EXPECT_TRUE(settings.portEnabled[1]);
  EXPECT_FALSE(settings.portEnabled[2]);
  EXPECT_FALSE(DumpPending(2));
  EXPECT_TRUE(watcher().watching());
  // The next tick only restores the interval; the one after scans.
  EXPECT_TRUE(restartTick());
  EXPECT_EQ(timer21().interval(), 1000);
  Job(2);
  Job(1);
  loop.Advance(1000);
  loop.RunOnce(0);
  EXPECT_TRUE(FileExists(P("SR_START.002")));
  loop.Advance(settings.pollInterval);
  loop.RunOnce(0);
  EXPECT_FALSE(FileExists(P("SR_START.002")));
  EXPECT_TRUE(FileExists(P("FINESCO.002")));
  EXPECT_TRUE(FileExists(P("SR_START.001")));
}

TEST_F(JobServiceTest, FailedDumpWritesTheMessageOfItsResult) {
  struct Case {
    int16_t result;
    const char* message;
  } cases[] = {
      {-9, "E509: Coperchio stampante aperto e fine carta stampante"},
      {-8, "E501: Dump non eseguito, verificare se Ecr in errore o non connesso"},
      {-5, "E509: Coperchio stampante aperto"},
      {-4, "E096: Fine carta scontrino, sostituire rotolo"},
      {-1, "Errore generico sull'Ecr, verificare sul manuale del registratore"},
  };
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  svc->Start(dir.path());
  for (const auto& c : cases) {
    printer.dumpResult[0] = c.result;
    WriteFileBytes(P("SR_START.001"), "");
    Dump(1);
    EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), std::string(c.message) + "\r\n");
    EXPECT_FALSE(FileExists(P("SR_START.001")));
    EXPECT_FALSE(FileExists(P("FINESCO.001")));
    EXPECT_TRUE(DumpPending(1));
  }
  // A later dump that succeeds removes the error file; an RT printer
  // changes two options.
  printer.dumpResult[0] = 0;
  printer.rt = true;
  settings.options.chbInversioneScontiSuReso = true;
  Dump(1);
  EXPECT_FALSE(FileExists(P("SR_ERR.001")));
  EXPECT_EQ(ReadFileBytes(P("SR_MATR.001")).substr(0, 25), "99MEY012345\r\nStatus: RT\r\n");
  EXPECT_TRUE(Shown("Text8: 99MEY012345"));
  EXPECT_TRUE(settings.options.chbPagamentiEstesi);
  EXPECT_FALSE(settings.options.chbInversioneScontiSuReso);
  EXPECT_TRUE(Shown("options: estesi rt"));
}

TEST_F(JobServiceTest, ClosingWhileIdleCleansTheDirectory) {
  StartIdentified();
  for (const char* name : {"SR_START.001", "SR_ERR.001", "SR_OUT.001", "FINESCO.001", "SR_DATI.001"})
    WriteFileBytes(P(name), "x");
  svc->Unload();
  for (const char* name : {"SR_MATR.001", "SR_START.001", "SR_ERR.001", "SR_OUT.001", "FINESCO.001"})
    EXPECT_FALSE(FileExists(P(name))) << name;
  EXPECT_TRUE(FileExists(P("SR_DATI.001")));
  EXPECT_EQ(saves, 1);
  EXPECT_TRUE(svc->Finished());
  EXPECT_FALSE(watcher().watching());
  EXPECT_TRUE(Shown("Form1: Chiusura programma Quilo1 in corso ..."));
}

TEST_F(JobServiceTest, ClosingDuringAJobAbandonsIt) {
  StartIdentified();
  Job(1);
  printer.status = 11;
  printer.duringSend = [&] {
    svc->Unload();
    EXPECT_FALSE(svc->Finished());
    EXPECT_TRUE(FileExists(P("SR_MATR.001")));
  };
  Scan();
  EXPECT_TRUE(std::find(printer.log.begin(), printer.log.end(), "timed out") != printer.log.end());
  EXPECT_EQ(saves, 1);
  EXPECT_TRUE(svc->Finished());
  EXPECT_TRUE(FileExists(P("SR_MATR.001")));
  EXPECT_TRUE(FileExists(P("SR_DATI.001")));
  EXPECT_TRUE(FileExists(P("SR_START.001")));
  EXPECT_FALSE(FileExists(P("SR_ERR.001")));
  EXPECT_FALSE(timer21().enabled());
}

TEST_F(JobServiceTest, ClosingDuringThePaymentStillReportsIt) {
  StartIdentified();
  Job(1);
  payment.request = [&](const std::vector<std::string>&) -> int16_t {
    svc->Unload();
    return -200;
  };
  Scan();
  EXPECT_TRUE(svc->Finished());
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")).substr(0, 5), "E601:");
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_TRUE(FileExists(P("SR_DATI.001")));
}

}  // namespace
}  // namespace service
