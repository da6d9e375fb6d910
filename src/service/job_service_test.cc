// Job detection, execution, outcome and closing against a fake printer, the
// virtual-time loop and a temporary data directory.
#include "service/job_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <vector>

#include "ecr/receipts.h"
#include "service/journal.h"
#include "service/sha256.h"
#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/temp_dir.h"

namespace service {
namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class FakePrinter : public JobPrinter {
 public:
  bool ProbePort(int16_t port) override { return available[port - 1]; }
  void OpenPort(int16_t port) override { log.push_back("open " + std::to_string(port)); }
  void ClosePort(int16_t port) override { log.push_back("close " + std::to_string(port)); }
  int16_t RunDump(int16_t port, const std::string& dataDir) override {
    log.push_back("dump " + std::to_string(port));
    if (rt) {
      ecr::ReadIdentification("X99MEY012345ABCDEFGHIJKLM1XY", &id);
    } else {
      ecr::ReadIdentification("CU10000" + std::to_string(port), &id);
    }
    id.firmwareVersion = "05.01.02";
    return dumpResult[port - 1];
  }
  const ecr::PrinterIdentity& identity() const override { return id; }
  int16_t SendDocument(int16_t port, ExchangeFiles&, const std::vector<std::string>& lines, const std::string& b,
                       bool sendAsIs, ClosingWatch& closing, std::string* errorDetail) override {
    bytes.push_back(b);
    log.push_back("send " + std::to_string(port) + (sendAsIs ? " as is" : "") + (traceOpen ? " traced" : ""));
    documents.push_back(lines);
    if (duringSend) duringSend();
    *errorDetail = detail;
    closing.printed = printed;
    return status;
  }
  int16_t Send(const std::string& command) override {
    log.push_back(command + (traceOpen ? " traced" : ""));
    if (onSend) onSend(command);
    return sendResult;
  }
  bool CancelReceipt(int16_t port) override {
    OpenPort(port);
    bool done = true;
    for (const std::string& command : ecr::CancelReceiptCommands()) done = Send(command) == 0 && done;
    ClosePort(port);
    return done;
  }
  std::string LastErrorCode() override { return code; }
  void RaiseTimedOut() override {
    log.push_back("timed out");
    closing = true;
  }
  bool Closing() override { return closing; }
  uint64_t PaperEndWaits() const override { return 0; }
  int ReadReceiptCounter(int16_t) override {
    log.push_back("1004");
    return counter;
  }
  int LastKnownReceiptCounter() const override { return counter; }
  void SetLastKnownReceiptCounter(int c) override { counter = c; }
  bool AppendReceiptStamp(int16_t, ExchangeFiles&) override {
    log.push_back("stamp");
    return true;
  }
  bool CheckStatusFirst() override { return false; }
  void SetTraceSink(std::function<void(const std::string&)> sink) override { traceOpen = bool(sink); }

  bool available[4] = {true, true, true, true};
  bool closing = false;
  int counter = -1;
  int16_t dumpResult[4] = {0, 0, 0, 0};
  int16_t status = 0;
  std::string detail, code;
  bool traceOpen = false;
  bool rt = false;
  ecr::PrinterIdentity id;
  std::function<void()> duringSend;
  std::function<void(const std::string&)> onSend;
  bool printed = false;  // the document sent a line into a receipt
  int16_t sendResult = 0;
  std::vector<std::string> log;
  std::vector<std::vector<std::string>> documents;
  std::vector<std::string> bytes;
};

// The real file system, where the data file may vanish before it is read.
class VanishingFiles : public platform::FileSystem {
 public:
  platform::FileKind Kind(const std::string& p) override { return real_->Kind(p); }
  platform::ReadStatus ReadFile(const std::string& p, size_t max, std::string* c, std::string* e) override {
    if (!vanish.empty() && p.size() >= vanish.size() && p.compare(p.size() - vanish.size(), vanish.size(), vanish) == 0)
      return platform::ReadStatus::kMissing;
    return real_->ReadFile(p, max, c, e);
  }
  bool WriteFile(const std::string& p, const std::string& b, std::string* e) override { return real_->WriteFile(p, b, e); }
  bool CreateFile(const std::string& p, const std::string& b, std::string* e) override {
    return real_->CreateFile(p, b, e);
  }
  bool AppendFile(const std::string& p, const std::string& b, bool s, std::string* e) override {
    return real_->AppendFile(p, b, s, e);
  }
  bool RemoveFile(const std::string& p) override { return real_->RemoveFile(p); }
  bool MakeDirectory(const std::string& p) override { return real_->MakeDirectory(p); }
  bool ListDirectory(const std::string& p, std::vector<std::string>* n) override { return real_->ListDirectory(p, n); }
  bool WriteFileMode(const std::string& p, const std::string& b, unsigned m, std::string* e) override {
    return real_->WriteFileMode(p, b, m, e);
  }
  bool WriteBeneath(const std::string& d, const std::string& n, const std::string& b, std::string* e) override {
    return real_->WriteBeneath(d, n, b, e);
  }
  bool AppendBeneath(const std::string& d, const std::string& n, const std::string& b, std::string* e) override {
    return real_->AppendBeneath(d, n, b, e);
  }
  bool RemoveBeneath(const std::string& d, const std::string& n) override { return real_->RemoveBeneath(d, n); }
  std::string vanish;

 private:
  std::unique_ptr<platform::FileSystem> real_ = platform::FileSystem::CreateReal();
};

// Records what the service shows, one "field: text" line per call.
class RecordingView : public StatusView {
 public:
  void PrinterMessage(const std::string& t) override { Add("Text1", t); }
  void ProgramStatus(int16_t, const std::string& t) override { Add("Text2", t); }
  void DetectionStatus(const std::string& t) override { Add("Text3", t); }
  void Busy(bool, const std::string& tip) override { Add("tip", tip); }
  void PortAvailable(int16_t port, bool available) override {}
  void PortBox(int16_t port, bool ticked, bool enabled) override {
    Add("Check" + std::to_string(port), std::string(ticked ? "ticked" : "cleared") + (enabled ? "" : " disabled"));
  }
  void DumpState(int16_t port, const std::string& t) override { Add("Dump COM" + std::to_string(port), t); }
  void PrinterSerial(int16_t port, const std::string& serial) override { Add("Text8", serial); }
  void DataDirectory(const std::string&) override {}
  void WatcherStarted() override {}
  void TimerControls(bool, const std::string&) override {}
  void DetectionSettings(bool, const std::string&) override {}
  void ConfigurationLocked(bool locked) override { Add("frames", locked ? "locked" : "unlocked"); }
  void TestButtonEnabled(bool enabled) override { Add("CMBFile", enabled ? "enabled" : "disabled"); }
  void ClosingNotice(const std::string& t) override { Add("Form1", t); }
  void MessageBox(const std::string& t) override { Add("message", t); }
  void Log(const std::string& t) override { Add("log", t); }
  void OptionsChanged(const settings::Options& o, bool rt) override {
    Add("options", std::string(o.chbPagamentiEstesi ? "estesi" : "") + (rt ? " rt" : ""));
  }
  void Add(const std::string& field, const std::string& text) { lines.push_back(field + ": " + text); }
  std::vector<std::string> lines;
};

class FakePayment : public PaymentStep {
 public:
  int16_t Request(const std::vector<std::string>& lines) override { return request ? request(lines) : 0; }
  void PrintSlip() override {
    if (slip) slip();
  }
  void Closing() override {}
  bool Approval(payment::POSData* data) const override {
    if (approved.commandWord.empty()) return false;
    *data = approved;
    return true;
  }
  void UseEarlierApproval(const payment::POSData& data) override { reused.push_back(data.AuthorizationCode); }
  void NoteCharged(const std::string& line) override { notes.push_back(line); }
  std::function<int16_t(const std::vector<std::string>&)> request;
  std::function<void()> slip;
  payment::POSData approved;  // what Request got approved; none when empty
  std::vector<std::string> reused, notes;
};

}  // namespace

class JobServiceTest : public ::testing::Test, public ProgramHost {
 protected:
  JobServiceTest() { Restart(); }
  void Restart() {
    svc = std::make_unique<JobService>(
        ServiceParts{loop, fs, clock, printer, settings, view, *this, &payment, dir.path(), journalDir});
  }
  void SaveSettings() override { ++saves; }
  void EndProgram() override { ++ends; }
  std::string P(const std::string& name) { return dir.File(name); }
  void Job(int port) {
    std::string ext = ".00" + std::to_string(port);
    WriteFileBytes(P("SR_DATI" + ext), "SALE,N1,P100;\r\nCASH;\r\n");
    WriteFileBytes(P("SR_START" + ext), "");
  }
  bool Shown(const std::string& line) {
    for (const auto& l : view.lines)
      if (l == line) return true;
    return false;
  }
  // Starts and lets the first scans identify the printers.
  void StartIdentified() {
    svc->Start(dir.path());
    loop.Advance(settings.pollInterval);
    loop.RunOnce(0);
  }
  // The service's inner steps and state, for the tests below.
  void Scan() { svc->detection().Scan(); }
  int16_t VerifyStartPos() { return svc->detection().FindJob(); }
  void Dump(int16_t port) { svc->RunDump(port); }
  void Tick() { svc->detection().OnTimerTick(); }
  void WatchEvent() { svc->detection().OnDirectoryChanged(); }
  WindowTimer& timer21() { return svc->detection().timer(); }
  cWatchForChanges& watcher() { return svc->detection().watcher(); }
  bool DumpPending(int port) { return svc->detection().ports[port - 1].dumpPending; }
  bool& restartTick() { return svc->detection().restartTick(); }

  testing_support::ScopedTempDir dir;
  testing_support::FakeEventLoop loop;
  VanishingFiles fs;
  testing_support::FakeClock clock{&loop};
  FakePrinter printer;
  FakePayment payment;
  RecordingView view;
  settings::Settings settings;
  std::unique_ptr<JobService> svc;
  std::string journalDir;  // empty: the program directory
  int saves = 0, ends = 0;
};

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

TEST_F(JobServiceTest, LowerPortGoesFirstAndAStartFileAloneWaits) {
  settings.portEnabled[1] = settings.portEnabled[3] = false;
  svc->Start(dir.path());
  WriteFileBytes(P("SR_MATR.001"), "x");
  WriteFileBytes(P("SR_MATR.003"), "x");
  Job(3);
  Job(1);
  WriteFileBytes(P("FINESCO.001"), "finesco");
  WriteFileBytes(P("SR_OUT.001"), "old");
  EXPECT_EQ(VerifyStartPos(), 1);
  EXPECT_FALSE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(FileExists(P("SR_OUT.001")));
  std::remove(P("SR_DATI.001").c_str());
  EXPECT_EQ(VerifyStartPos(), 3);
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

TEST_F(JobServiceTest, NoPortAtAll) {
  for (bool& a : printer.available) a = false;
  svc->Start(dir.path());
  Scan();
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(ReadFileBytes(P("SR_ERR.00" + std::to_string(n))), "E502: Nessuna porta di comunicazione disponibile\r\n");
}

TEST_F(JobServiceTest, NoScanInsideAJob) {
  StartIdentified();
  Job(1);
  int sends = 0;
  printer.duringSend = [&] {
    ++sends;
    Scan();
  };
  Scan();
  EXPECT_EQ(sends, 1);
}

// The link has one owner: the window's actions during a job wait for it as
// units of work, the test receipt alone is sent unconverted, and the closing
// drops what still waits.
TEST_F(JobServiceTest, OperatorActionsDuringAJobWaitTheirTurn) {
  StartIdentified();
  svc->ShowMainWindow();
  Job(1);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    svc->PrintTestReceipt();
    svc->CancelReceipt();
    EXPECT_EQ(svc->queue().Queued(), 2u);
  };
  Scan();
  EXPECT_TRUE(Shown("Text2: Stampante occupata: in coda"));
  const std::vector<std::string> expected = {"send 1", "1109", "send 1 as is", "1109", "open 1",
                                             "7007" + std::string(40, ' '), "3001818Annull.transazione000000000",
                                             "3011", "3013", "close 1"};
  EXPECT_EQ(printer.log, expected);
  EXPECT_EQ(printer.documents[0], (std::vector<std::string>{"SALE,N1,P100;", "CASH;"}));
  EXPECT_EQ(printer.documents[1].front(), "1109");
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  // A refused payment ends the test receipt, on screen alone; the host's
  // next document is converted all the same.
  payment.request = [](const std::vector<std::string>&) -> int16_t { return -203; };
  view.lines.clear();
  svc->PrintTestReceipt();
  EXPECT_FALSE(FileExists(P("SR_ERR.001")));
  EXPECT_EQ(std::count_if(view.lines.begin(), view.lines.end(),
                          [](const std::string& l) { return l.rfind("log: Esegui Test: ", 0) == 0; }),
            1);
  payment.request = nullptr;
  Job(1);
  Scan();
  EXPECT_EQ(printer.log[printer.log.size() - 2], "send 1");

  // The closing waits for the running unit and drops the queued ones.
  Job(1);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    svc->PrintTestReceipt();
    svc->Unload();
  };
  Scan();
  EXPECT_TRUE(svc->Finished());
  EXPECT_EQ(std::count(printer.log.begin(), printer.log.end(), "send 1 as is"), 0);
  EXPECT_TRUE(Shown("log: Chiusura: annullato in coda: test"));
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

TEST_F(JobServiceTest, TimerTicks) {
  StartIdentified();
  restartTick() = false;
  Job(1);
  // A tick while a unit holds the link does nothing and keeps the timer running.
  svc->queue().Submit(1, "dump", [&] {
    Tick();
    EXPECT_TRUE(FileExists(P("SR_START.001")));
    EXPECT_TRUE(timer21().enabled());
  });
  Tick();
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  EXPECT_TRUE(timer21().enabled());
  restartTick() = false;
  settings.options.OptionFAST = true;
  Tick();
  EXPECT_FALSE(timer21().enabled());
}

TEST_F(JobServiceTest, SwitchingTheTrigger) {
  StartIdentified();
  svc->SelectFastDetection();
  EXPECT_FALSE(timer21().enabled());
  Job(1);
  loop.Advance(10000);
  loop.RunOnce(0);
  EXPECT_TRUE(FileExists(P("SR_START.001")));
  svc->SelectTimerDetection();
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

TEST_F(JobServiceTest, NotificationModeTakesTheJobOnTheChange) {
  settings.options.OptionFAST = true;
  StartIdentified();
  WatchEvent();
  Job(1);
  WatchEvent();
  EXPECT_TRUE(FileExists(P("FINESCO.001")));
  EXPECT_FALSE(timer21().enabled());
  EXPECT_FALSE(watcher().SuspendWatch());
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
    svc->WindowMinimised();
    if (c.shown) svc->ShowMainWindow();
    svc->PrintTestReceipt();
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
      EXPECT_EQ(Shown("Text1: DUMP NON ANCORA ESEGUITO"), c.shown);
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
  svc->ShowMainWindow();
  const std::string document = "SALE,N1,P100;\r\nCASH;\r\n";
  WriteFileBytes(P("SR_DATI.001"), document);
  printer.log.clear();
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    EXPECT_EQ(ReadFileBytes(P("SR_DATI.001")), document);
    WriteFileBytes(P("SR_START.001"), "");
  };
  svc->PrintTestReceipt();
  ASSERT_GE(printer.log.size(), 3u);
  EXPECT_EQ(printer.log[0], "send 1 as is");
  EXPECT_EQ(printer.log[2], "send 1");
  EXPECT_EQ(printer.bytes.back(), document);
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
  EXPECT_FALSE(FileExists(P("SR_DATI.001")));
  EXPECT_FALSE(FileExists(P("SR_START.001")));
  EXPECT_TRUE(Shown("log: Esegui Test: TUTTO OK"));
}

// The console's documents: eight wait per port, the ninth is refused at
// once; a host's file job that comes meanwhile goes after the one running.
TEST_F(JobServiceTest, ConsoleDocumentsWaitEightAtMostAndNeverBeforeTheHost) {
  StartIdentified();
  std::vector<FinishedJob> ends;
  auto post = [&](int n) {
    svc->SubmitDocument(1, "PRNT,api " + std::to_string(n) + ";\r\n", [&](const FinishedJob& e) { ends.push_back(e); });
  };
  printer.duringSend = [&] {
    printer.duringSend = nullptr;
    for (int n = 1; n <= 9; ++n) post(n);
    Job(1);
  };
  post(0);
  ASSERT_EQ(ends.size(), 10u);
  EXPECT_TRUE(ends[0].queueFull);  // the ninth, answered before any ran
  EXPECT_EQ(ends[0].code, "busy");
  for (size_t i = 1; i < ends.size(); ++i) EXPECT_TRUE(ends[i].ok && !ends[i].queueFull) << i;
  ASSERT_EQ(printer.bytes.size(), 10u);
  EXPECT_EQ(printer.bytes[0], "PRNT,api 0;\r\n");
  EXPECT_EQ(printer.bytes[1], "SALE,N1,P100;\r\nCASH;\r\n");
  EXPECT_EQ(printer.bytes[9], "PRNT,api 8;\r\n");
  EXPECT_EQ(ReadFileBytes(P("FINESCO.001")), "finesco");
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
  svc->ShowMainWindow();
  EXPECT_TRUE(svc->WindowShown());
  EXPECT_EQ(std::vector<std::string>(view.lines.end() - 4, view.lines.end()),
            (std::vector<std::string>{"Dump COM1: DUMP ESEGUITO", "Dump COM2: DUMP NON ESEGUITO",
                                      "Dump COM3: DUMP NON ESEGUITO", "Dump COM4: DUMP NON ESEGUITO"}));
  EXPECT_FALSE(DumpPending(1));
  EXPECT_TRUE(DumpPending(3));
  Tick();
  EXPECT_TRUE(Shown("Text3: Timer ON"));
  svc->WindowMinimised();
  EXPECT_FALSE(svc->WindowShown());
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
