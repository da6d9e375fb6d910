// One job from its start file to its answer: the document read once, the
// card payment, the printer, the outcome in the exchange files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "service/journal.h"
#include "service/sha256.h"
#include "testing/job_service_test.h"

namespace service {
namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;
using JobRunnerTest = JobServiceTest;

TEST_F(JobRunnerTest, SuccessfulJob) {
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
TEST_F(JobRunnerTest, FailedJobKeepsTheDocument) {
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

TEST_F(JobRunnerTest, VanishedDataFile) {
  StartIdentified();
  Job(1);
  fs.vanish = "SR_DATI.001";
  Scan();
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), "E506: Trasmissione non avvenuta: file di input non presente\r\n");
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_EQ(printer.log.back(), "dump 1");
}

TEST_F(JobRunnerTest, RefusedPaymentSkipsTheDocument) {
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

TEST_F(JobRunnerTest, ApprovedPaymentGetsItsSlipWhenTheDocumentFails) {
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
TEST_F(JobRunnerTest, AnApprovalStandsForItsDocumentSentAgain) {
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

// A started job always ends: a folder where the data file should be is
// answered with an error file that says so.
TEST_F(JobRunnerTest, AFolderInPlaceOfTheDataFileEndsTheJobWithItsError) {
  StartIdentified();
  std::filesystem::create_directory(P("SR_DATI.001"));
  WriteFileBytes(P("SR_START.001"), "");
  Scan();
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_EQ(ReadFileBytes(P("SR_ERR.001")), "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella\r\n");
  EXPECT_EQ(std::count(printer.log.begin(), printer.log.end(), "send 1"), 0);
}

// The data directory is a trust boundary: a link a host planted where an
// exchange file goes is never followed. The answer files of the last job go
// as every job starts, links with them; a link at the document or at SR_ERR
// refuses the job and says why.
TEST_F(JobRunnerTest, ALinkInPlaceOfAnExchangeFileIsNeverFollowed) {
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
