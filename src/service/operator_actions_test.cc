// The operator's actions: port boxes, detection mode and timer, the test
// receipt, "Annulla Scontrino" and the console's documents, each against the
// job service's test bench.
#include "testing/job_service_test.h"

#include "service/journal.h"
#include "service/sha256.h"

namespace service {
namespace {

TEST_F(JobServiceTest, SwitchingTheTrigger) {
  StartIdentified();
  svc->SetFastDetection(true);
  EXPECT_FALSE(timer21().enabled());
  Job(1);
  loop.Advance(10000);
  loop.RunOnce(0);
  EXPECT_TRUE(FileExists(P("SR_START.001")));
  svc->SetFastDetection(false);
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  EXPECT_TRUE(timer21().enabled());
}

TEST_F(JobServiceTest, SetTimerIsRefusedDuringAJob) {
  StartIdentified();
  Job(1);
  printer.duringSend = [&] { svc->SetTimerValue("5"); };
  Scan();
  EXPECT_TRUE(Shown("message: Connessione in corso, valore non accettato"));
  EXPECT_EQ(settings.pollInterval, 1000);
  svc->SetTimerValue("5");
  EXPECT_EQ(settings.pollInterval, 5000);
  EXPECT_EQ(timer21().interval(), 5000);
  EXPECT_TRUE(timer21().enabled());
}

TEST_F(JobServiceTest, TestReceiptGoesToTheHighestIdentifiedPort) {
  const std::string item = "7007ARTICOLO 1" + std::string(24, ' ') + "\x7f 0,01";
  const std::string head = "1109\r\n7007" + std::string(40, ' ') + "\r\n" + item +
                           "\r\n310110122ARTICOLO 1            000000001\r\n3002106 STORNO\r\n7007STORNO" +
                           std::string(28, ' ') + "\x7f 0,01\r\n310140122ARTICOLO 1            000000001\r\n7007CONTANTI" +
                           std::string(26, ' ') + "\x7f 0,00\r\n300408CONTANTI000000000\r\n3011\r\n";
  struct Case {
    bool ports[4];
    bool shown, logo, noDrawer;
    const char* file;  // the port's data file the test would once have been, "" for none
    std::string document;
  } cases[] = {
      {{true, false, true, false}, true, false, false, "SR_DATI.003", head + "70081\r\n3013\r\n1109\r\n"},
      {{true, true, false, false}, true, true, true, "SR_DATI.002", head + "3017011\r\n3013\r\n1109\r\n"},
      {{true, false, false, false}, true, true, false, "SR_DATI.001", head + "3017011\r\n70081\r\n3013\r\n1109\r\n"},
      {{false, false, false, false}, true, false, false, "", ""},
      // Hidden, the dump flags stay as the last showing set them; the window,
      // not the service, keeps the button to its shown state.
      {{true, false, false, false}, false, false, false, "", ""},
  };
  svc->Start(dir.path());
  timer21().Stop();
  for (const auto& c : cases) {
    for (int n = 0; n < 4; ++n) {
      settings.portEnabled[n] = c.ports[n];
      std::remove(P("SR_DATI.00" + std::to_string(n + 1)).c_str());
    }
    settings.options.CheckStampaLogo = c.logo;
    settings.options.chbNoInviaApCassetto = c.noDrawer;
    view.lines.clear();
    svc->ViewShown(false);
    if (c.shown) svc->ViewShown(true);
    svc->TestReceipt();
    if (*c.file) {
      // Sent as it is from memory: none of the port's exchange files is written.
      const std::string port = std::string(c.file).substr(10);
      EXPECT_EQ(printer.bytes.back(), c.document) << c.file;
      EXPECT_EQ(printer.log[printer.log.size() - 2], "send " + port + " as is");
      for (const char* stem : {"SR_DATI", "SR_START", "FINESCO", "SR_OUT", "SR_ERR"})
        EXPECT_FALSE(FileExists(P(std::string(stem) + ".00" + port))) << stem;
      EXPECT_TRUE(Shown("Text2: QUILO1 TERMINATO : TUTTO OK"));
      EXPECT_TRUE(Shown("CMBFile: disabled"));
      EXPECT_TRUE(Shown("CMBFile: enabled"));
    } else {
      EXPECT_TRUE(Shown("Text1: DUMP NON ANCORA ESEGUITO"));
      EXPECT_FALSE(Shown("CMBFile: disabled"));
    }
    timer21().Stop();
  }
}

// The operator's test between a host's SR_DATI and its SR_START: the test
// prints from memory, the host's document prints after it, and each side
// gets its own answer.
TEST_F(JobServiceTest, TestReceiptBetweenAHostsDataAndStartFiles) {
  StartIdentified();
  svc->ViewShown(true);
  const std::string document = "SALE,N1,P100;\r\nCASH;\r\n";
  WriteFileBytes(P("SR_DATI.001"), document);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    EXPECT_EQ(ReadFileBytes(P("SR_DATI.001")), document);
    WriteFileBytes(P("SR_START.001"), "");
  };
  svc->TestReceipt();
  ASSERT_GE(printer.log.size(), 3u);
  EXPECT_EQ(printer.log[0], "send 1 as is");
  EXPECT_EQ(printer.log[2], "send 1");
  EXPECT_EQ(printer.bytes.back(), document);
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
  EXPECT_FALSE(FileExists(P("SR_DATI.001")));
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_TRUE(Shown("log: Esegui Test: TUTTO OK"));
}

TEST_F(JobServiceTest, PortBoxesLockAndUnlockTheConfiguration) {
  for (bool& ticked : settings.portEnabled) ticked = false;
  svc->Start(dir.path());
  EXPECT_TRUE(Shown("frames: unlocked"));
  timer21().Stop();
  svc->SetPortEnabled(2, true);
  EXPECT_TRUE(settings.portEnabled[1]);
  EXPECT_TRUE(timer21().enabled());
  EXPECT_EQ(view.lines.back(), "frames: locked");
  // Only the clicked box counts: COM2 stays ticked, the polling stops.
  svc->SetPortEnabled(1, false);
  EXPECT_FALSE(settings.portEnabled[0]);
  EXPECT_TRUE(settings.portEnabled[1]);
  EXPECT_FALSE(timer21().enabled());
  EXPECT_EQ(view.lines.back(), "frames: unlocked");
}

TEST_F(JobServiceTest, ShowingTheWindowRecomputesTheDumpFlags) {
  settings.portEnabled[1] = settings.portEnabled[3] = false;
  StartIdentified();
  restartTick() = false;
  view.lines.clear();
  Tick();
  EXPECT_FALSE(Shown("Text3: Timer ON"));  // no heartbeat while hidden
  svc->ViewShown(true);
  EXPECT_TRUE(svc->detection().heartbeat);
  EXPECT_EQ(std::vector<std::string>(view.lines.end() - 4, view.lines.end()),
            (std::vector<std::string>{"Dump COM1: DUMP ESEGUITO", "Dump COM2: DUMP NON ESEGUITO",
                                      "Dump COM3: DUMP NON ESEGUITO", "Dump COM4: DUMP NON ESEGUITO"}));
  EXPECT_FALSE(DumpPending(1));
  EXPECT_TRUE(DumpPending(3));
  Tick();
  EXPECT_TRUE(Shown("Text3: Timer ON"));
  svc->ViewShown(false);
  EXPECT_FALSE(svc->detection().heartbeat);
}

TEST_F(JobServiceTest, CancelReceiptSendsTheSequenceOnTheScannedPort) {
  settings.portEnabled[0] = false;
  StartIdentified();
  printer.log.clear();
  svc->CancelReceipt();
  EXPECT_EQ(printer.log, (std::vector<std::string>{"open 2", "7007" + std::string(40, ' '),
                                                   "3001818Annull.transazione000000000", "3011", "3013",
                                                   "close 2"}));
}

// Documents with an Idempotency-Key: a retry while the job runs, after its
// answer and after a restart never prints again; another document under the
// key is refused; a job a crash cut off is answered as the recovery decided.
TEST_F(JobServiceTest, AKeyedDocumentPrintsOnceAndEveryRetryGetsItsAnswer) {
  settings.portEnabled[1] = settings.portEnabled[2] = settings.portEnabled[3] = false;
  StartIdentified();
  std::vector<std::pair<std::string, FinishedJob>> ends;
  auto post = [&](const std::string& name, const std::string& doc, const std::string& key) {
    svc->SubmitDocument(1, doc, [&ends, name](const FinishedJob& e) { ends.push_back({name, e}); }, key);
  };
  auto names = [&] {
    std::vector<std::string> n;
    for (auto& [name, e] : ends) n.push_back(name + (e.keyConflict ? " conflict" : e.ok ? " ok" : " " + e.code));
    return n;
  };
  printer.status = 4;  // the printer refuses it: E505, a 422 for the API
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    post("running", "SALE,N1,P100;\r\n", "k1");
    post("other body", "SALE,N1,P999;\r\n", "k1");
  };
  post("first", "SALE,N1,P100;\r\n", "k1");
  post("after", "SALE,N1,P100;\r\n", "k1");
  EXPECT_EQ(names(), (std::vector<std::string>{"other body conflict", "running E505", "first E505", "after E505"}));
  ASSERT_EQ(printer.bytes.size(), 1u);
  for (size_t i = 2; i < ends.size(); ++i) EXPECT_EQ(ends[i].second.errorLine, ends[1].second.errorLine) << i;

  // No port to print on: not a job, so the key is free for a later try.
  ends.clear();
  printer.status = 0;
  settings.portEnabled[0] = false;
  post("no port", "PRNT,b;\r\n", "k2");
  settings.portEnabled[0] = true;
  post("again", "PRNT,b;\r\n", "k2");
  post("unkeyed", "PRNT,b;\r\n", "");
  post("unkeyed", "PRNT,b;\r\n", "");
  EXPECT_EQ(names(), (std::vector<std::string>{"no port E506", "again ok", "unkeyed ok", "unkeyed ok"}));
  EXPECT_EQ(printer.bytes.size(), 4u);

  // After a restart the journal answers; a job cut off (started, key
  // journaled, no outcome) waits for the recovery's E510.
  Journal journal(fs, P("Quilo1.journal"));
  journal.Load();
  const uint64_t cut = journal.NextJobId();
  std::string error;
  ASSERT_TRUE(journal.Append({.step = JournalStep::kStarted, .job = cut, .port = 1,
                              .document_sha256 = Sha256Hex("SALE,N3,P300;\r\n")}, &error));
  ASSERT_TRUE(journal.Append({.step = JournalStep::kIdempotencyKey, .job = cut,
                              .document_sha256 = Sha256Hex("SALE,N3,P300;\r\n"), .idempotency_key = "k3"}, &error));
  ends.clear();
  printer.log.clear();
  Restart();
  svc->Start(dir.path());
  post("cut off", "SALE,N3,P300;\r\n", "k3");
  EXPECT_TRUE(ends.empty()) << "answered before the recovery";
  loop.Advance(settings.pollInterval);
  loop.RunOnce(0);
  post("k1 after restart", "SALE,N1,P100;\r\n", "k1");
  post("k2 after restart", "PRNT,b;\r\n", "k2");
  post("k2 other body", "PRNT,c;\r\n", "k2");
  EXPECT_EQ(names(), (std::vector<std::string>{"cut off E510", "k1 after restart E505", "k2 after restart ok",
                                               "k2 other body conflict"}));
  EXPECT_EQ(printer.bytes.size(), 4u);
  EXPECT_NE(std::find(printer.log.begin(), printer.log.end(), "3001818Annull.transazione000000000"), printer.log.end());
}

}  // namespace
}  // namespace service
