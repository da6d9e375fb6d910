// Start-up, dumps, jobs, payments, closing and recovery of the job service
// against a fake printer, the virtual-time loop and a temporary data directory.
#include "testing/job_service_fixture.h"

#include <filesystem>

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

TEST_F(JobServiceTest, SuccessfulJob) {
  settings.options.chbTrace = true;
  StartIdentified();
  Job(1);
  WriteFileBytes(P("SR_ERR.001"), "old");
  Scan();
  ASSERT_GE(printer.log.size(), 2u);
  EXPECT_EQ(printer.log[printer.log.size() - 2], "send 1 traced");
  EXPECT_EQ(printer.log.back(), "1109");  // sent after the trace file was closed
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_FALSE(FileExists(P("SR_DATI.001")));
  EXPECT_FALSE(FileExists(P("SR_ERR.001")));
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
  EXPECT_FALSE(svc->queue().Busy());
  EXPECT_TRUE(Shown("Text2: TRASMISSIONE QUILO1 IN CORSO .."));
  EXPECT_TRUE(Shown("Text2: QUILO1 TERMINATO : TUTTO OK"));
  EXPECT_TRUE(Shown("tip: Quilo1 in esecuzione..."));
  EXPECT_TRUE(restartTick());
}

// A failed document keeps its SR_DATI. One whose line went into a receipt
// leaves none open: cancelled before the answer, which keeps its text; a
// cancel the printer refused goes again before the next document.
TEST_F(JobServiceTest, FailedJobKeepsTheDocument) {
  StartIdentified();
  bool answeredFirst = false;
  printer.onSend = [&](const std::string& c) { answeredFirst = answeredFirst || (c == "3011" && FileExists(P("SR_ERR.001"))); };
  struct Case {
    int16_t status;
    std::string code, detail, line;
    bool printed = false;
    int16_t cancelResult = 0;
    long before = 0, after = 0;  // cancels before and after the document
  } cases[] = {
      {1, "", "", "Fine Buffer di stampa: chiudere manualmente lo scontrino\r\n"},
      {11, "", "", "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr\r\n", true, 1, 0, 1},
      {10, "21", "", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione : ERRORE 21\r\n", false, 0, 1, 0},
      {99, "", "CARTA INCEPPATA", "Errore 99: CARTA INCEPPATA\r\n", true, 0, 0, 1},
      {14, "", "", "E512: Carattere di controllo nel comando: documento non stampato\r\n"},
  };
  for (const auto& c : cases) {
    printer.status = c.status;
    printer.code = c.code;
    printer.detail = c.detail;
    printer.printed = c.printed;
    printer.sendResult = c.cancelResult;
    printer.log.clear();
    std::filesystem::remove(P("SR_ERR.001"));
    Job(1);
    Scan();
    printer.sendResult = 0;
    const auto send = std::find(printer.log.begin(), printer.log.end(), "send 1");
    EXPECT_EQ(std::count(printer.log.begin(), send, "3011"), c.before) << c.line;
    EXPECT_EQ(std::count(send, printer.log.end(), "3011"), c.after) << c.line;
    EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), c.line);
    EXPECT_TRUE(FileExists(P("SR_DATI.001")));
    EXPECT_FALSE(FileExists(P("SR_START.001")));
    EXPECT_FALSE(FileExists(P("FINESCO.001")));
  }
  EXPECT_FALSE(answeredFirst);
  EXPECT_TRUE(Shown("Text2: QUILO1 TERMINATO : RILEVATO ERRORE 99: CARTA INCEPPATA, scontrino annullato"));
}

TEST_F(JobServiceTest, VanishedDataFile) {
  StartIdentified();
  Job(1);
  fs.vanish = "SR_DATI.001";
  Scan();
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), "E506: Trasmissione non avvenuta: file di input non presente\r\n");
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_EQ(printer.log.back(), "dump 1");
}

TEST_F(JobServiceTest, RefusedPaymentSkipsTheDocument) {
  StartIdentified();
  int slips = 0;
  payment.request = [](const std::vector<std::string>&) -> int16_t { return -202; };
  payment.slip = [&] { ++slips; };
  Job(1);
  Scan();
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), "E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS\r\n");
  EXPECT_EQ(slips, 1);
  EXPECT_EQ(printer.log.back(), "dump 1");
}

TEST_F(JobServiceTest, ApprovedPaymentGetsItsSlipWhenTheDocumentFails) {
  StartIdentified();
  int slips = 0;
  payment.request = [](const std::vector<std::string>&) -> int16_t { return 0; };
  payment.slip = [&] {
    ++slips;
    printer.log.push_back("slip");
  };
  printer.status = 11;
  Job(1);
  Scan();
  EXPECT_EQ(slips, 1);
  EXPECT_EQ(printer.log.back(), "slip");
  EXPECT_EQ(printer.log[printer.log.size() - 2], "1109");
  EXPECT_TRUE(FileExists(P("SR_ERR.001")));
  EXPECT_TRUE(FileExists(P("SR_DATI.001")));
}

// A card is charged once per document: after a receipt that failed, the
// approval stands for the same document for 30 minutes, until a receipt of
// it prints; each failure after a charge says so in the log.
TEST_F(JobServiceTest, AnApprovalStandsForItsDocumentSentAgain) {
  clock.Set({.year = 2026, .month = 12, .day = 8, .hour = 10, .minute = 15});
  StartIdentified();
  int requests = 0;
  payment.request = [&](const std::vector<std::string>&) -> int16_t { return ++requests, 0; };
  payment.approved.commandWord = "PAGA";
  payment.approved.amount = "1250";
  payment.approved.TransactionResult = "00";
  payment.approved.AuthorizationCode = "AB12";
  const int64_t kMinute = 60 * 1000;
  const struct {
    const char* what;
    int64_t after;
    int16_t status;
    int requests;
    size_t reused, notes;
  } steps[] = {
      {"approved, the receipt fails", 0, 11, 1, 0, 1},
      {"sent again, fails again", 10 * kMinute, 11, 1, 1, 2},
      {"sent again, printed", 10 * kMinute, 0, 1, 2, 2},
      {"the same document after its receipt: a new sale", kMinute, 11, 2, 2, 3},
      {"past 30 minutes: the terminal again", 31 * kMinute, 0, 3, 2, 3},
  };
  for (const auto& step : steps) {
    clock.Advance(step.after);
    std::filesystem::remove(P("SR_ERR.001"));
    std::filesystem::remove(P("FINESCO.001"));
    printer.status = step.status;
    Job(1);
    Scan();
    EXPECT_EQ(requests, step.requests) << step.what;
    EXPECT_EQ(payment.reused.size(), step.reused) << step.what;
    EXPECT_EQ(payment.notes.size(), step.notes) << step.what;
    EXPECT_EQ(FileExists(P("FINESCO.001")), step.status == 0) << step.what;
    // SR_ERR keeps its one line.
    const std::string err = step.status ? ReadFileBytes(P("SR_ERR.001")) : "\r\n";
    EXPECT_EQ(err.find("\r\n"), err.size() - 2) << step.what << ": " << err;
  }
  EXPECT_EQ(payment.reused, (std::vector<std::string>{"AB12", "AB12"}));
  const std::string first = std::string(kChargedNotice) +
                            "EUR 12.50, autorizzazione AB12 del 08/12/2026 10:15; lo stesso documento inviato "
                            "entro 30 minuti non chiede un nuovo pagamento";
  EXPECT_EQ(payment.notes[0], first);
  EXPECT_EQ(payment.notes[1], first);  // the same charge, not a second one
  EXPECT_TRUE(Shown("log: " + first));
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

// A job cut off by a crash or a power cut: start-up reads how far it went in
// the journal and gives the host a true answer once the printer is
// identified, before SR_MATR; files the journal cannot explain are kept as a
// copy and removed, with nothing sent to the printer.
TEST_F(JobServiceTest, StartUpAnswersTheJobACrashCutOff) {
  const std::string document = "SALE,N1,P100;\r\nSALE,N2,P200;\r\nCASH;\r\n";
  const std::vector<std::string> cancel = {"open 1", "7007" + std::string(40, ' '),
                                           "3001818Annull.transazione000000000", "3011", "3013", "close 1"};
  const char* kE510 = "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n";
  struct Case {
    const char* what;
    int lastStep;  // 0: no record
    int counterBefore, counterNow;
    // SR_START, SR_DATI, FINESCO, SR_OUT present before the start; "SR_DATI+"
    // is another document than the job's (the job came over the console).
    std::vector<std::string> filesLeft;
    std::vector<std::string> printed;    // after the dump
    std::string err;                     // SR_ERR afterwards, "" none
    bool finesco, dataKept, copyKept;
  } cases[] = {
      {"mid-receipt", 1, -1, -1, {"SR_START", "SR_DATI"}, cancel, kE510, false, true, true},
      {"closing sent, printer closed it", 2, 5, 6, {"SR_START", "SR_DATI"}, {"open 1", "1004", "close 1", "open 1", "stamp", "close 1"}, "", true, false, true},
      {"closing sent, not closed", 2, 5, 5, {"SR_START", "SR_DATI"}, {}, kE510, false, true, true},
      {"closing answered", 3, 5, 6, {"SR_START", "SR_DATI", "SR_OUT"}, {"open 1", "1004", "close 1"}, "", true, false, true},
      {"outcome recorded, FINESCO missing", 4, -1, -1, {"SR_OUT"}, {}, "", true, false, false},
      {"answered: left for the host", 5, -1, -1, {"FINESCO", "SR_OUT"}, {}, "", true, false, false},
      {"no record: written while down", 0, -1, -1, {"SR_START", "SR_DATI"}, {}, "", false, false, true},
      {"console job mid-receipt, a host's document waiting", 1, -1, -1, {"SR_START", "SR_DATI+"}, cancel, "", false, false, true},
      {"console job closed, a host's document waiting", 2, 5, 6, {"SR_START", "SR_DATI+"}, {"open 1", "1004", "close 1"}, "", false, false, true},
  };
  cases[2].printed = {"open 1", "1004", "close 1"};
  cases[2].printed.insert(cases[2].printed.end(), cancel.begin(), cancel.end());
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) std::filesystem::remove(entry.path());
    platform::FileSystem& files = fs;
    Journal journal(files, P("Quilo1.journal"));
    for (int step = 1; step <= c.lastStep; ++step) {
      JournalRecord r;
      r.job = 7;
      r.step = static_cast<JournalStep>(step);
      r.port = 1;
      r.document_sha256 = Sha256Hex(document);
      r.receipt_counter_before = c.counterBefore;
      r.outcome = "FINESCO";
      std::string error;
      ASSERT_TRUE(journal.Append(r, &error)) << error;
    }
    std::string left = document;
    for (const std::string& stem : c.filesLeft) {
      if (stem == "SR_DATI+") left = "SALE,N2,P300;\r\nCASH;\r\n";
      WriteFileBytes(P(stem.substr(0, 7) == "SR_DATI" ? "SR_DATI.001" : stem + ".001"),
                     stem.substr(0, 7) == "SR_DATI" ? left : stem == "FINESCO" ? "finesco" : "");
    }
    printer.counter = c.counterNow;
    printer.log.clear();
    view.lines.clear();
    Restart();
    StartIdentified();
    std::vector<std::string> after(printer.log.begin() + 1, printer.log.end());
    EXPECT_EQ(printer.log.front(), "dump 1");
    EXPECT_EQ(after, c.printed);
    EXPECT_FALSE(FileExists(P("SR_START.001")));
    EXPECT_EQ(FileExists(P("SR_ERR.001")) ? ReadFileBytes(P("SR_ERR.001")) : "", c.err);
    EXPECT_EQ(FileExists(P("FINESCO.001")), c.finesco);
    EXPECT_EQ(FileExists(P("SR_DATI.001")), c.dataKept);
    EXPECT_TRUE(FileExists(P("SR_MATR.001")));
    EXPECT_EQ(svc->recoveries(), c.lastStep >= 1 && c.lastStep <= 4 ? 1u : 0u);
    std::vector<std::string> copies;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("SR_DATI.001.interrupted-", 0) == 0)
        copies.push_back(entry.path().string());
    ASSERT_EQ(copies.size(), c.copyKept ? 1u : 0u);
    if (c.copyKept) {
      EXPECT_EQ(ReadFileBytes(copies[0]), left);
      EXPECT_TRUE(Shown("Text2: DOCUMENTO INTERROTTO, COPIA IN " +
                        std::filesystem::path(copies[0]).filename().string()));
    }
  }
}

// The journal of an older version, among the hosts' files, moves to the
// program's own folder at the first start and still answers the job a crash
// cut off; a journal the hosts plant there later is not read.
TEST_F(JobServiceTest, TheOldJournalMovesToTheProgramsFolder) {
  testing_support::ScopedTempDir own;
  journalDir = own.path();
  Restart();
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  const std::string document = "SALE,N1,P100;\r\nCASH;\r\n";
  std::string error;
  JournalRecord started{.step = JournalStep::kStarted, .job = 7, .port = 1, .document_sha256 = Sha256Hex(document)};
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal")).Append(started, &error)) << error;
  WriteFileBytes(P("SR_START.001"), "");
  WriteFileBytes(P("SR_DATI.001"), document);
  StartIdentified();
  EXPECT_FALSE(FileExists(P("Quilo1.journal")));
  ASSERT_TRUE(FileExists(own.File("Quilo1.journal")));
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")),
            "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n");
  EXPECT_TRUE(Shown("log: Giornale dei lavori: spostato da " + P("Quilo1.journal") + " a " + own.File("Quilo1.journal")));
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(own.File("Quilo1.journal")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
  // A host's journal in the data directory now: two records that would
  // answer a job that never printed with FINESCO.
  started.job = 9;
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal")).Append(started, &error));
  ASSERT_TRUE(Journal(fs, P("Quilo1.journal"))
                  .Append({.step = JournalStep::kOutcomeWritten, .job = 9, .outcome = "FINESCO"}, &error));
  std::filesystem::remove(P("SR_ERR.001"));
  WriteFileBytes(P("SR_START.001"), "");
  Restart();
  StartIdentified();
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_TRUE(FileExists(P("Quilo1.journal")));  // left alone, never read
}

// A started job always ends: a folder where the data file should be is
// answered with an error file that says so.
TEST_F(JobServiceTest, AFolderInPlaceOfTheDataFileEndsTheJobWithItsError) {
  StartIdentified();
  std::filesystem::create_directory(P("SR_DATI.001"));
  WriteFileBytes(P("SR_START.001"), "");
  Scan();
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella\r\n");
  EXPECT_EQ(std::count(printer.log.begin(), printer.log.end(), "send 1"), 0);
}

}  // namespace
}  // namespace service

namespace service {
namespace {

// The data directory is a trust boundary: a link a host planted where an
// exchange file goes is never followed. The answer files of the last job go
// as every job starts, links with them; a link at the document or at SR_ERR
// refuses the job and says why.
TEST_F(JobServiceTest, ALinkInPlaceOfAnExchangeFileIsNeverFollowed) {
#ifdef _WIN32
  GTEST_SKIP() << "symbolic links need a privilege a test run does not have";
#endif
  testing_support::ScopedTempDir outside;
  StartIdentified();
  const struct {
    const char* name;
    bool refused;
  } cases[] = {{"SR_OUT.001", false}, {"FINESCO.001", false}, {"SR_ERR.001", true}, {"SR_DATI.001", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string victim = outside.File("victim");
    WriteFileBytes(victim, "SALE,N1,P100;\r\nCASH;\r\n");
    Job(1);
    std::filesystem::remove(P(c.name));
    std::filesystem::create_symlink(victim, P(c.name));
    printer.log.clear();
    Scan();
    EXPECT_EQ(ReadFileBytes(victim), "SALE,N1,P100;\r\nCASH;\r\n");
    EXPECT_FALSE(std::filesystem::is_symlink(P(c.name)));
    EXPECT_FALSE(FileExists(P("SR_START.001")));
    EXPECT_EQ(std::count(printer.log.begin(), printer.log.end(), "send 1"), c.refused ? 0 : 1);
    if (c.refused) {
      EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")),
                "E506: Trasmissione non avvenuta: collegamento rifiutato: " + std::string(c.name) + "\r\n");
      std::filesystem::remove(P("SR_ERR.001"));
    } else {
      EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
    }
  }
}

}  // namespace
}  // namespace service
