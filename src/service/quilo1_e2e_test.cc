// End to end: the real quilo1 serving tools/virtual-ecr over pseudo-terminals,
// with the host's side played by writing and reading the exchange files.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "testing/temp_dir.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

const char kReceipt[] =
    "PLUD,N1,Q1,P250,:PANE COMUNE;\r\n"
    "PLUD,N1,Q2,P180,:LATTE INTERO;\r\n"
    "SALE,N2,Q1,P1290;\r\n"
    "DISC,%10,:SCONTO FEDELTA;\r\n"
    "PLUD,N3,Q1,P399,:CAFFE MACINATO;\r\n"
    "DOST,%5;\r\n"
    "CASH,V2500;\r\n";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// A port nobody listens on now, for the console of one quilo1.
int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

// One HTTP/1.0 exchange with the console: status and body.
// A request sent, its answer not read yet; -1 when nobody listens.
// `extra`: more header lines, each ending in CRLF.
int HttpSend(int port, const std::string& method, const std::string& path, const std::string& token,
             const std::string& body, const std::string& extra = "") {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nX-Quilo1-Token: " + token + "\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n" + extra + "\r\n" + body;
  (void)!write(fd, request.data(), request.size());
  return fd;
}

std::pair<int, std::string> Http(int port, const std::string& method, const std::string& path,
                                 const std::string& token = "", const std::string& body = "",
                                 std::string* head = nullptr, const std::string& extra = "") {
  int fd = HttpSend(port, method, path, token, body, extra);
  if (fd < 0) return {0, ""};
  std::string answer;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) answer.append(buf, size_t(n));
  close(fd);
  size_t split = answer.find("\r\n\r\n");
  if (head) *head = answer.substr(0, split);
  return {answer.size() > 12 ? std::atoi(answer.c_str() + 9) : 0,
          split == std::string::npos ? "" : answer.substr(split + 4)};
}

class Quilo1E2E : public ::testing::Test {
 protected:
  Quilo1E2E() {
    prog = dir.File("prog");
    data = dir.File("data");
    mkdir(prog.c_str(), 0755);
    mkdir(data.c_str(), 0755);
    // Only COM1 unless a test says otherwise; a short polling interval.
    WriteFileBytes(prog + "/QLCHKCOM.TXT", "1000\r\n");
    WriteFileBytes(prog + "/QLTIMER1.TXT", "100\r\n");
  }
  ~Quilo1E2E() override {
    quilo1.reset();
    printers.clear();
  }

  std::string D(const std::string& name) { return data + "/" + name; }
  std::string Paper(int n) { return ReadFileBytes(dir.File("paper" + std::to_string(n))); }

  static bool WaitFor(const std::function<bool()>& done, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  void StartPrinter(int n, std::vector<std::string> extra = {}) {
    std::string tty = dir.File("tty" + std::to_string(n));
    const std::string control = dir.File("control" + std::to_string(n));
    // A test's FIFO, or the file of the printer's run before, stays.
    if (!FileExists(control)) WriteFileBytes(control, "");
    std::vector<std::string> argv = {VIRTUAL_ECR_BIN, "--link", tty, "--paper", dir.File("paper" + std::to_string(n)),
                                     "--control", dir.File("control" + std::to_string(n))};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string error;
    printers.push_back(platform::ChildProcess::Start(argv, dir.File("virtual-ecr" + std::to_string(n) + ".log"), &error));
    ASSERT_TRUE(printers.back()) << error;
    ASSERT_TRUE(WaitFor([&] { return FileExists(tty); }, 5000));
  }
  void Control(int n, const std::string& command) {
    std::ofstream(dir.File("control" + std::to_string(n)), std::ios::binary | std::ios::app) << command << "\n";
  }
  // The commands the printer of COM1 received, from byte `from` of its log
  // on (that printer started with "--log", dir.File("wire1")).
  std::vector<std::string> Commands(size_t from = 0) {
    std::string log = ReadFileBytes(dir.File("wire1")).substr(from);
    std::vector<std::string> out;
    const std::string head = " recv <STX>", tail = "<ETX>";
    for (size_t p = 0; p < log.size();) {
      size_t e = log.find('\n', p);
      if (e == std::string::npos) e = log.size();
      std::string line = log.substr(p, e - p);
      size_t h = line.find(head);
      // Sequence and terminal digit before, checksum behind the command.
      if (h != std::string::npos && line.size() >= h + head.size() + 3 + 2 + tail.size())
        out.push_back(line.substr(h + head.size() + 3, line.size() - h - head.size() - 3 - 2 - tail.size()));
      p = e + 1;
    }
    return out;
  }
  // Ports that are not listed are mapped to devices that do not exist.
  void StartQuilo1(std::vector<int> ports = {1}) {
    std::vector<std::string> argv = {QUILO1_BIN, "--program-dir", prog, "--data-dir", data};
    for (int n = 1; n <= 4; ++n) {
      bool served = std::find(ports.begin(), ports.end(), n) != ports.end();
      argv.push_back("--com");
      argv.push_back(std::to_string(n) + "=" + dir.File((served ? "tty" : "missing-tty") + std::to_string(n)));
    }
    std::string error;
    quilo1 = platform::ChildProcess::Start(argv, dir.File("quilo1.log"), &error);
    ASSERT_TRUE(quilo1) << error;
  }
  void Identified(int port = 1) {
    // Complete: its last line is the firmware line.
    ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(D("SR_MATR.00" + std::to_string(port))).find("FW: ") != std::string::npos; },
                        5000))
        << ReadFileBytes(dir.File("quilo1.log"));
  }
  // The program with its console on a free port and the printer of COM1
  // identified; the console's port, and its token in `token`.
  int StartWithConsole(std::string* token, std::vector<std::string> printer = {}) {
    const int http = FreePort();
    WriteFileBytes(prog + "/QLCONSOLE.TXT", "1\r\n" + std::to_string(http) + "\r\n");
    StartPrinter(1, std::move(printer));
    StartQuilo1();
    Identified();
    *token = ReadFileBytes(prog + "/QLTOKEN.TXT").substr(0, 32);
    return http;
  }
  void Submit(const std::string& document, int port = 1) {
    std::string ext = ".00" + std::to_string(port);
    // As a host does: the last job's answer goes before the next job.
    std::remove(D("FINESCO" + ext).c_str());
    std::remove(D("SR_ERR" + ext).c_str());
    WriteFileBytes(D("SR_DATI" + ext), document);
    WriteFileBytes(D("SR_START" + ext), "");
  }
  // The host's view: FINESCO, or a whole SR_ERR with the job over. SR_START
  // goes before FINESCO is written, and an SR_ERR beside SR_START is only a
  // notice (paper end).
  bool Answered(int port = 1) {
    std::string ext = ".00" + std::to_string(port);
    if (FileExists(D("FINESCO" + ext))) return true;
    std::string err = ReadFileBytes(D("SR_ERR" + ext));
    return err.size() >= 2 && err.compare(err.size() - 2, 2, "\r\n") == 0 && !FileExists(D("SR_START" + ext));
  }
  bool JobEnded(int port = 1, int ms = 8000) {
    return WaitFor([&] { return Answered(port); }, ms);
  }

  testing_support::ScopedTempDir dir;
  std::string prog, data;
  std::vector<std::unique_ptr<platform::ChildProcess>> printers;
  std::unique_ptr<platform::ChildProcess> quilo1;
};

TEST_F(Quilo1E2E, FullReceiptEndsInFinesco) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  std::string matr = ReadFileBytes(D("SR_MATR.001"));
  EXPECT_NE(matr.find("DriverType: Custom\r\n"), std::string::npos) << matr;
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded()) << ReadFileBytes(dir.File("quilo1.log"));
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  EXPECT_FALSE(FileExists(D("SR_ERR.001"))) << ReadFileBytes(D("SR_ERR.001"));
  EXPECT_FALSE(FileExists(D("SR_DATI.001")));
  std::string out = ReadFileBytes(D("SR_OUT.001"));
  EXPECT_EQ(out.rfind("TIME,CASS. 1 ", 0), 0u) << out;
  EXPECT_NE(out.find(" CASSA   1 ,E,A1;\r\nDATE,"), std::string::npos) << out;
  EXPECT_NE(out.find("Versione 1.0.0.1\r\n"), std::string::npos) << out;
  std::string paper = Paper(1);
  for (const char* line : {"PANE COMUNE", "LATTE INTERO", "CAFFE MACINATO", "RESTO"})
    EXPECT_EQ(Count(paper, line), 1) << line << "\n" << paper;
}

TEST_F(Quilo1E2E, CommunicationTraceOfAJob) {
  // Line 2 of the options ticks "Abilita Trace di Comunicazione".
  WriteFileBytes(prog + "/QLCHKSCO.TXT", "0\r\n1\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nS\r\n0\r\n0\r\n");
  StartPrinter(1);
  StartQuilo1();
  Identified();
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded());
  std::time_t now = std::time(nullptr);
  char month[16];
  std::strftime(month, sizeof month, "%Y%m", std::localtime(&now));
  std::string traceDir = D(std::string("TRACE_") + month);
  std::string trace;
  for (int back = 0; back < 5 && trace.empty(); ++back) {
    std::time_t t = now - back;
    char name[64];
    std::strftime(name, sizeof name, "/TRACE_%Y%m%d_%H%M%S.TXT", std::localtime(&t));
    trace = ReadFileBytes(traceDir + name);
  }
  ASSERT_FALSE(trace.empty());
  EXPECT_NE(trace.find(" <-->  --> "), std::string::npos) << trace;
  // The trace is closed before the closing "1109" of the job.
  EXPECT_EQ(trace.find("01109"), std::string::npos) << trace;
}

TEST_F(Quilo1E2E, RefusedDocumentKeepsItsDataFile) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  struct Case {
    std::string fault, message;
  } cases[] = {
      {"err 3101 09", "Fine Buffer di stampa: chiudere manualmente lo scontrino\r\n"},
      {"err 3101 23", "E505: Totale scontrino negativo\r\n"},
      {"err 3101 37", "E509: Coperchio stampante aperto\r\n"},
      {"err 3101 51", "E1: MF esaurita : contattare assistenza tecnica\r\n"},
      {"err 3101 21", "E503: Scontrino aperto, chiudere e riavviare l'esecuzione\r\n"},
      {"err 3101 12", "Errore 12 : Documento RT non trovato non modificabile \r\n"},
      {"err 3101 54", "Errore: necessario eseguire chiusura fiscale\r\n"},
      {"err 3101 77", "Errore generico sull'Ecr, verificare sul manuale del registratore\r\n"},
      {"err 3101 29", "Errore 29 : IVA Negativa Documento RT Annullato \r\n"},
  };
  for (const auto& c : cases) {
    Control(1, c.fault);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Submit(kReceipt);
    ASSERT_TRUE(JobEnded()) << c.fault;
    EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), c.message) << c.fault;
    EXPECT_TRUE(FileExists(D("SR_DATI.001"))) << c.fault;
    EXPECT_FALSE(FileExists(D("FINESCO.001"))) << c.fault;
    Control(1, "clear");
  }
}

// A document refused after its first printing line: its receipt is
// cancelled before the answer, which keeps the host's code, and the next
// document prints a receipt of its own lines only. A receipt open on the
// printer's keys is neither continued nor cancelled: the printer refuses the
// first line, E503.
TEST_F(Quilo1E2E, ARefusedDocumentsReceiptIsCancelledNotContinued) {
  StartPrinter(1, {"--state", dir.File("state1")});
  StartQuilo1();
  Identified();
  const std::string five = "PLUD,N1,Q1,P100,:UNO;\r\nPLUD,N1,Q1,P100,:DUE;\r\nPLUD,N1,Q1,P100,:TRE;\r\n"
                           "PLUD,N1,Q1,P100,:QUATTRO;\r\nCASH;\r\n";
  struct Case {
    const char* fault;
    std::string document, err;
  } cases[] = {
      {"", "SALE,N1,P100,R;\r\nCASH;\r\n", "E505: Totale scontrino negativo\r\n"},
      {"err 310110122TRE 20", five, "E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr\r\n"},
  };
  int64_t total = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    Control(1, c.fault);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    size_t before = Paper(1).size();
    Submit(c.document);
    ASSERT_TRUE(JobEnded());
    EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), c.err);
    const std::string cancelled = Paper(1).substr(before);
    EXPECT_EQ(Count(cancelled, "ANNULLATO N."), 1) << cancelled;
    EXPECT_EQ(Count(cancelled, "DOC.N."), 0) << cancelled;
    before = Paper(1).size();
    Submit("SALE,N2,P300;\r\nCASH;\r\n");
    ASSERT_TRUE(JobEnded());
    EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
    const std::string paper = Paper(1).substr(before);
    for (const char* line : {"RESO", "UNO", "DUE", "ANNULL"}) EXPECT_EQ(Count(paper, line), 0) << line << "\n" << paper;
    EXPECT_EQ(Count(paper, "DOC.N."), 1) << paper;
    total += 300;
    const std::string state = ReadFileBytes(dir.File("state1"));
    EXPECT_NE(state.find("\nreceipts_total=" + std::to_string(total) + "\n"), std::string::npos) << state;
    EXPECT_NE(state.find("\ndoc.kind=0\n"), std::string::npos) << state;
  }
  EXPECT_EQ(Count(ReadFileBytes(dir.File("quilo1.log")), "scontrino annullato"), 4) << ReadFileBytes(dir.File("quilo1.log"));
  Control(1, "clear");
  Control(1, "keys 500 open");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const size_t before = Paper(1).size();
  Submit("SALE,N2,P300;\r\nCASH;\r\n");
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E503: Scontrino aperto, chiudere e riavviare l'esecuzione\r\n");
  EXPECT_EQ(Paper(1).substr(before), "");
  EXPECT_EQ(Count(ReadFileBytes(dir.File("quilo1.log")), "scontrino annullato"), 4);
  // Still the keys' own receipt, with their item alone.
  const std::string state = ReadFileBytes(dir.File("state1"));
  for (const char* field : {"\ndoc.kind=1\n", "\ndoc.keys=1\n", "\ndoc.total=500\n"})
    EXPECT_NE(state.find(field), std::string::npos) << field << state;
}

TEST_F(Quilo1E2E, ErrorNinetyNineCarriesThePrinterDescription) {
  StartPrinter(1, {"--error99", "TESTINA GUASTA"});
  StartQuilo1();
  Identified();
  Control(1, "err 3101 99");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")).rfind("Errore 99: TESTINA GUASTA", 0), 0u) << ReadFileBytes(D("SR_ERR.001"));
}

TEST_F(Quilo1E2E, PaperEndIsWaitedOutWithoutPrintingTwice) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  Control(1, "paper-out 2");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Submit(kReceipt);
  ASSERT_TRUE(WaitFor([&] { return FileExists(D("SR_ERR.001")); }, 5000));
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E096: Fine carta scontrino, sostituire rotolo : ERRORE 16\r\n");
  EXPECT_TRUE(FileExists(D("SR_START.001")));
  Control(1, "paper-in");
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  EXPECT_FALSE(FileExists(D("SR_ERR.001")));
  std::string paper = Paper(1);
  for (const char* line : {"PANE COMUNE", "LATTE INTERO", "CAFFE MACINATO", "RESTO"})
    EXPECT_EQ(Count(paper, line), 1) << line << "\n" << paper;
}

TEST_F(Quilo1E2E, LinkFaultsNeverPrintALineTwice) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  for (const char* fault : {"nak 2", "bad-echo 1", "lost 1", "drop-answer 3101"}) {
    std::string before = Paper(1);
    Control(1, fault);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Submit(kReceipt);
    ASSERT_TRUE(JobEnded(1, 15000)) << fault;
    EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco") << fault << ReadFileBytes(D("SR_ERR.001"));
    std::string paper = Paper(1).substr(before.size());
    for (const char* line : {"PANE COMUNE", "LATTE INTERO", "CAFFE MACINATO", "RESTO"})
      EXPECT_EQ(Count(paper, line), 1) << fault << " " << line << "\n" << paper;
  }
}

TEST_F(Quilo1E2E, OnlyTheFirstIdentifiedPrinterIsServed) {
  WriteFileBytes(prog + "/QLCHKCOM.TXT", "1100\r\n");
  StartPrinter(1);
  StartPrinter(2);
  StartQuilo1({1, 2});
  Identified(1);
  Submit(kReceipt, 2);
  Submit(kReceipt, 1);
  ASSERT_TRUE(JobEnded(1));
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(FileExists(D("SR_MATR.002")));
  EXPECT_TRUE(FileExists(D("SR_START.002")));
  EXPECT_EQ(Paper(2), "");
}

TEST_F(Quilo1E2E, FailedDumpThenSuccessfulOne) {
  StartPrinter(1, {"--fault", "status 10"});
  StartQuilo1();
  ASSERT_TRUE(WaitFor([&] { return FileExists(D("SR_ERR.001")); }, 5000));
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E509: Coperchio stampante aperto\r\n");
  EXPECT_FALSE(FileExists(D("SR_MATR.001")));
  Control(1, "clear");
  Identified();
  EXPECT_TRUE(WaitFor([&] { return !FileExists(D("SR_ERR.001")); }, 2000));
}

TEST_F(Quilo1E2E, ClosingWhileIdleCleansUp) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  WriteFileBytes(D("SR_DATI.001"), kReceipt);
  WriteFileBytes(D("SR_ERR.001"), "old");
  quilo1.reset();  // SIGTERM, then wait
  EXPECT_FALSE(FileExists(D("SR_MATR.001")));
  EXPECT_FALSE(FileExists(D("SR_ERR.001")));
  EXPECT_TRUE(FileExists(D("SR_DATI.001")));
  EXPECT_EQ(ReadFileBytes(prog + "/QLCHKCOM.TXT"), "1000\r\n");
  EXPECT_TRUE(FileExists(prog + "/QLCHKSCO.TXT"));
}

// A crash (kill -9) in the middle of a receipt, then a restart: the host's
// document is kept as a copy, the receipt left open on the printer is
// cancelled before the next job, the host is told so with E510 and keeps its
// document, and the next receipt holds only its own lines.
TEST_F(Quilo1E2E, CrashInTheMiddleOfAReceiptIsRecoveredAtTheNextStart) {
  StartPrinter(1, {"--state", dir.File("state1")});
  StartQuilo1();
  Identified();
  const std::string interrupted =
      "PLUD,N1,Q1,P111,:PRIMO CLIENTE A;\r\nPLUD,N1,Q1,P222,:PRIMO CLIENTE B;\r\n"
      "PLUD,N1,Q1,P333,:PRIMO CLIENTE C;\r\nCASH;\r\n";
  Control(1, "delay 100 200");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  Submit(interrupted);
  ASSERT_TRUE(WaitFor([&] { return Paper(1).find("PRIMO CLIENTE A") != std::string::npos; }, 10000));
  kill(pid_t(quilo1->Id()), SIGKILL);
  quilo1.reset();
  ASSERT_EQ(Paper(1).find("PRIMO CLIENTE C"), std::string::npos) << "the kill came too late";
  ASSERT_TRUE(FileExists(D("SR_START.001")));
  Control(1, "clear");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));

  StartQuilo1();
  // The SR_MATR of the killed program is still there until the start-up.
  ASSERT_TRUE(WaitFor([&] {
    return ReadFileBytes(dir.File("quilo1.log")).find("SCONTRINO INTERROTTO ANNULLATO") != std::string::npos;
  }, 10000)) << ReadFileBytes(dir.File("quilo1.log"));
  Identified();
  EXPECT_FALSE(FileExists(D("SR_START.001")));
  EXPECT_EQ(ReadFileBytes(D("SR_DATI.001")), interrupted);
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")),
            "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n");
  EXPECT_FALSE(FileExists(D("FINESCO.001")));
  std::vector<std::string> copies;
  for (const auto& entry : std::filesystem::directory_iterator(data))
    if (entry.path().filename().string().rfind("SR_DATI.001.interrupted-", 0) == 0) copies.push_back(entry.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFileBytes(copies[0]), interrupted);

  Submit("PLUD,N1,Q1,P450,:SECONDO CLIENTE;\r\nCASH;\r\n");
  ASSERT_TRUE(JobEnded()) << ReadFileBytes(dir.File("quilo1.log"));
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  const std::string paper = Paper(1);
  const std::string last = paper.substr(paper.rfind("DOCUMENTO COMMERCIALE"));
  EXPECT_NE(last.find("SECONDO CLIENTE"), std::string::npos) << paper;
  EXPECT_EQ(last.find("PRIMO CLIENTE"), std::string::npos) << paper;
  EXPECT_NE(paper.find("ANNULLATO N."), std::string::npos) << paper;
  // The cancelled receipt and the new one are numbered; only the new one
  // counts in the totals.
  const std::string state = ReadFileBytes(dir.File("state1"));
  EXPECT_EQ(state.rfind("receipt_number=2\n", 0), 0u) << state;
  EXPECT_NE(state.find("\ngrand_total=450\n"), std::string::npos) << state;
  EXPECT_NE(state.find("\nreceipts_total=450\n"), std::string::npos) << state;
  EXPECT_NE(state.find("\ndoc.kind=0\n"), std::string::npos) << state;
  EXPECT_NE(state.find("\ndepartment.1=450\n"), std::string::npos) << state;
}

// A started job always ends: a folder in the data file's place is answered.
TEST_F(Quilo1E2E, AFolderInPlaceOfTheDataFileIsAnswered) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  mkdir(D("SR_DATI.001").c_str(), 0755);
  WriteFileBytes(D("SR_START.001"), "");
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella\r\n");
}

TEST_F(Quilo1E2E, ClosingWhileAJobWaitsLeavesTheFiles) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  Control(1, "paper-out 0");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Submit(kReceipt);
  ASSERT_TRUE(WaitFor([&] { return FileExists(D("SR_ERR.001")); }, 5000));
  auto start = std::chrono::steady_clock::now();
  quilo1.reset();
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 10.0);
  EXPECT_TRUE(FileExists(D("SR_MATR.001")));
  EXPECT_TRUE(FileExists(D("SR_DATI.001")));
  EXPECT_TRUE(FileExists(D("SR_START.001")));
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E096: Fine carta scontrino, sostituire rotolo : ERRORE 16\r\n");
  EXPECT_FALSE(FileExists(D("FINESCO.001")));
  EXPECT_TRUE(FileExists(prog + "/QLCHKSCO.TXT"));
}

TEST_F(Quilo1E2E, SecondInstanceEndsAtOnce) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  std::string error;
  auto second = platform::ChildProcess::Start({QUILO1_BIN, "--program-dir", prog, "--data-dir", data},
                                              dir.File("second.log"), &error);
  ASSERT_TRUE(second);
  EXPECT_TRUE(WaitFor([&] { return !second->Running(); }, 3000));
  EXPECT_TRUE(FileExists(D("SR_MATR.001")));
  Submit(kReceipt);
  EXPECT_TRUE(JobEnded());
}

TEST_F(Quilo1E2E, NotificationModeTakesTheJobWithoutTheTimer) {
  // Sixteen option lines; line 14 "F" selects the notifications. Three
  // seconds of polling: the tick after the dump restores the interval, the
  // next one scans and leaves the timer stopped, so a job taken well before
  // another three seconds have passed was found by the notification.
  WriteFileBytes(prog + "/QLCHKSCO.TXT", "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nF\r\n0\r\n0\r\n");
  WriteFileBytes(prog + "/QLTIMER1.TXT", "3\r\n");
  StartPrinter(1);
  StartQuilo1();
  Identified();
  std::this_thread::sleep_for(std::chrono::milliseconds(4500));
  Submit(kReceipt);
  EXPECT_TRUE(JobEnded(1, 2000));
  EXPECT_TRUE(WaitFor([&] { return FileExists(D("FINESCO.001")); }, 1000));
}

TEST_F(Quilo1E2E, ReceiptCommandsInTheirOrder) {
  StartPrinter(1, {"--log", dir.File("wire1")});
  StartQuilo1();
  Identified();
  // The identification ends with the receipt counter, read once.
  ASSERT_TRUE(WaitFor([&] { return !Commands().empty() && Commands().back() == "1004"; }, 5000));
  size_t from = ReadFileBytes(dir.File("wire1")).size();
  // A subtotal discount, then cash for the rest without an amount.
  Submit("PLUD,N1,Q1,P1000,:PANE;\r\nDOST,%2.5;\r\nCASH;\r\n");
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  std::vector<std::string> expected = {
      // Nothing before the document: the counter was read at start-up.
      "7007" + std::string(40, ' '),
      "7007PANE                             <7F> 10.00",
      "310110122PANE                  000001000",
      "1003",
      "3001317SCONTO SBTL 2.50%000000025",
      "7007CONTANTI" + std::string(32, ' '),
      "3007010008CONTANTI000000000",
      "1003",
      "7007CONTANTI                          <7F> 9.75",
      "3011",
      "70081",
      // No receipt stamp came back: the receipt data lines are read at the end.
      "1104", "1001", "1004", "1105", "1104",
      "70081",
      "3013",
      "1109",
  };
  EXPECT_EQ(Commands(from), expected);
  std::string out = ReadFileBytes(D("SR_OUT.001"));
  EXPECT_EQ(out.substr(out.find("Versione")), "Versione 1.0.0.1\r\nGTOT,V975;\r\nGRTO,V0000000975;\r\nNAZF,V0000;\r\n")
      << out;
}

// STX and ETX round a command in a text: the printer carries out the
// receipt and nothing else (no daily reading, no closing), with blanks
// where the control bytes were.
TEST_F(Quilo1E2E, ControlBytesInATextRunNoCommandOfTheirOwn) {
  StartPrinter(1, {"--log", dir.File("wire1")});
  StartQuilo1();
  Identified();
  size_t from = ReadFileBytes(dir.File("wire1")).size();
  Submit("PLUD,N1,Q1,P100,:A\x02" "970200357\x03;\r\nCASH;\r\n");
  ASSERT_TRUE(JobEnded()) << ReadFileBytes(dir.File("quilo1.log"));
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco") << ReadFileBytes(D("SR_ERR.001"));
  const std::vector<std::string> commands = Commands(from);
  EXPECT_NE(std::find(commands.begin(), commands.end(), "310110122A 970200357           000000100"), commands.end());
  for (const std::string& c : commands) {
    EXPECT_NE(c.substr(0, 3), "200") << c;
    EXPECT_EQ(c.find("<STX>"), std::string::npos) << c;
    EXPECT_EQ(c.find("<ETX>"), std::string::npos) << c;
  }
  const std::string paper = Paper(1);
  EXPECT_EQ(Count(paper, "LETTURA"), 0) << paper;
  EXPECT_EQ(Count(paper, "CHIUSURA"), 0) << paper;
  EXPECT_EQ(Count(paper, "A 970200357"), 1) << paper;
}

TEST_F(Quilo1E2E, StartUpRemovesTheStaleFilesOfAvailablePortsOnly) {
  for (const char* name : {"SR_START.001", "SR_MATR.001", "SR_ERR.001", "SR_DATI.001", "SR_OUT.001", "FINESCO.001",
                           "SR_DATI.003", "SR_ERR.003", "SR_START.003"})
    WriteFileBytes(D(name), "stale");
  StartPrinter(1);
  StartQuilo1();
  Identified();
  for (const char* name : {"SR_START.001", "SR_ERR.001", "SR_DATI.001", "SR_OUT.001", "FINESCO.001"})
    EXPECT_FALSE(FileExists(D(name))) << name;
  // COM3 is missing on this machine: its files are not touched.
  for (const char* name : {"SR_DATI.003", "SR_ERR.003", "SR_START.003"}) EXPECT_EQ(ReadFileBytes(D(name)), "stale") << name;
}

TEST_F(Quilo1E2E, NoPortAtAllWritesE502ForEveryPort) {
  StartQuilo1({});
  for (int n = 1; n <= 4; ++n) {
    std::string err = D("SR_ERR.00" + std::to_string(n));
    EXPECT_TRUE(WaitFor([&] { return FileExists(err); }, 3000)) << err;
    EXPECT_EQ(ReadFileBytes(err), "E502: Nessuna porta di comunicazione disponibile\r\n");
  }
  // Every scan writes them again.
  std::remove(D("SR_ERR.002").c_str());
  EXPECT_TRUE(WaitFor([&] { return FileExists(D("SR_ERR.002")); }, 3000));
}

TEST_F(Quilo1E2E, ClosingWhileIdleCleansEveryAvailablePort) {
  WriteFileBytes(prog + "/QLCHKCOM.TXT", "1100\r\n");
  StartPrinter(1);
  StartPrinter(2);
  StartQuilo1({1, 2});
  Identified(1);
  for (int n : {1, 2, 3}) {
    std::string ext = ".00" + std::to_string(n);
    for (const char* stem : {"SR_START", "SR_ERR", "SR_OUT", "FINESCO", "SR_DATI"}) WriteFileBytes(D(stem + ext), "x");
  }
  quilo1.reset();
  for (int n : {1, 2}) {
    std::string ext = ".00" + std::to_string(n);
    for (const char* stem : {"SR_MATR", "SR_START", "SR_ERR", "SR_OUT", "FINESCO"})
      EXPECT_FALSE(FileExists(D(stem + ext))) << stem << ext;
    EXPECT_TRUE(FileExists(D("SR_DATI" + ext))) << ext;
  }
  // COM3 was never available: left alone.
  for (const char* stem : {"SR_START", "SR_ERR", "SR_OUT", "FINESCO", "SR_DATI"})
    EXPECT_TRUE(FileExists(D(std::string(stem) + ".003"))) << stem;
  // The served port only stays ticked.
  EXPECT_EQ(ReadFileBytes(prog + "/QLCHKCOM.TXT"), "1000\r\n");
}

TEST_F(Quilo1E2E, ClosingDuringADumpCutsItOffAndCleansUp) {
  // The printer never answers: the first dump waits for it.
  StartPrinter(1, {"--fault", "silent 1000"});
  StartQuilo1();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  for (const char* name : {"SR_START.001", "SR_ERR.001", "SR_OUT.001", "FINESCO.001", "SR_DATI.001"})
    WriteFileBytes(D(name), "x");
  auto start = std::chrono::steady_clock::now();
  quilo1.reset();
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
  for (const char* name : {"SR_MATR.001", "SR_START.001", "SR_ERR.001", "SR_OUT.001", "FINESCO.001"})
    EXPECT_FALSE(FileExists(D(name))) << name;
  EXPECT_TRUE(FileExists(D("SR_DATI.001")));
}

TEST_F(Quilo1E2E, ErrorCodeOfTheClosingCommandFollowsTheMessage) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  // The error file is written after the closing "1109": its code, and only
  // its code, is appended.
  Control(1, "err 3101 37");
  Control(1, "err 1109 45");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")), "E509: Coperchio stampante aperto : ERRORE 45\r\n");
  // A document that went through ends well whatever "1109" answered.
  Control(1, "err 3101 off");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  EXPECT_FALSE(FileExists(D("SR_ERR.001")));
}

TEST_F(Quilo1E2E, DocumentsOverTheConsoleShareThePrinterWithTheHost) {
  std::string token;
  const int http = StartWithConsole(&token);
  auto [status, body] = Http(http, "POST", "/api/jobs", token, kReceipt);
  EXPECT_EQ(status, 200) << body;
  EXPECT_NE(body.find("\"out\":[\"TIME,CASS. 1 "), std::string::npos) << body;
  Control(1, "err 3101 23");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::tie(status, body) = Http(http, "POST", "/api/jobs?port=1", token, kReceipt);
  EXPECT_EQ(status, 422) << body;
  EXPECT_NE(body.find("\"code\":\"E505\""), std::string::npos) << body;
  Control(1, "clear");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // The host's exchange files saw none of it.
  for (const char* name : {"SR_OUT.001", "SR_ERR.001", "FINESCO.001", "SR_DATI.001", "SR_START.001"})
    EXPECT_FALSE(FileExists(D(name))) << name;

  // A host's job and a console's at once: one after the other, both printed.
  std::thread client([&] { std::tie(status, body) = Http(http, "POST", "/api/jobs", token, kReceipt); });
  Submit(kReceipt);
  client.join();
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(status, 200) << body;
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  EXPECT_EQ(Count(Paper(1), "CAFFE MACINATO"), 3) << Paper(1);

  std::tie(status, body) = Http(http, "GET", "/metrics");
  EXPECT_NE(body.find("quilo1_jobs_total{port=\"1\",outcome=\"ok\"} 3"), std::string::npos) << body;
  EXPECT_NE(body.find("quilo1_jobs_total{port=\"1\",outcome=\"E505\"} 1"), std::string::npos) << body;
  std::tie(status, body) = Http(http, "GET", "/api/jobs?limit=2");
  EXPECT_EQ(Count(body, "\"outcome\":\"ok\""), 2) << body;
}

// The console never holds back or spoils a host's job: the operator's test
// between the host's SR_DATI and SR_START prints beside the host's document,
// each answered to its own side; ten documents posted at once leave one
// refused (503) and the host's job waits behind one of them at most.
TEST_F(Quilo1E2E, TheConsoleNeverHoldsBackOrSpoilsTheHost) {
  std::string token;
  const int http = StartWithConsole(&token);
  Control(1, "delay-line 20");

  WriteFileBytes(D("SR_DATI.001"), kReceipt);
  std::thread host([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteFileBytes(D("SR_START.001"), "");
  });
  auto [status, body] = Http(http, "POST", "/api/actions/test-receipt", token, "{}");
  host.join();
  EXPECT_EQ(status, 200) << body;
  ASSERT_TRUE(JobEnded(1, 15000)) << ReadFileBytes(dir.File("quilo1.log"));
  EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
  EXPECT_EQ(ReadFileBytes(D("SR_OUT.001")).rfind("TIME,CASS. 1 ", 0), 0u);
  EXPECT_EQ(Count(Paper(1), "CAFFE MACINATO"), 1) << Paper(1);
  EXPECT_GE(Count(Paper(1), "ARTICOLO 1"), 1) << Paper(1);
  std::tie(status, body) = Http(http, "GET", "/api/jobs?limit=2");
  EXPECT_EQ(Count(body, "\"outcome\":\"ok\""), 2) << body;

  std::remove(D("FINESCO.001").c_str());
  std::vector<std::pair<int, std::string>> answers(10);
  std::vector<std::string> heads(10);
  std::vector<std::thread> clients;
  for (int i = 0; i < 10; ++i)
    clients.emplace_back([&, i] {
      const std::string doc = "PLUD,N1,Q1,P100,:APIDOC " + std::to_string(i) + ";\r\nCASH;\r\n";
      answers[size_t(i)] = Http(http, "POST", "/api/jobs?port=1", token, doc, &heads[size_t(i)]);
    });
  ASSERT_TRUE(WaitFor([&] { return Count(Paper(1), "APIDOC") >= 1; }, 10000));
  const size_t before = Paper(1).size();
  Submit(kReceipt);
  for (std::thread& c : clients) c.join();
  ASSERT_TRUE(JobEnded(1, 30000));
  int refused = 0;
  for (int i = 0; i < 10; ++i) {
    if (answers[size_t(i)].first == 503) {
      ++refused;
      EXPECT_NE(heads[size_t(i)].find("\r\nRetry-After: 5"), std::string::npos) << heads[size_t(i)];
      EXPECT_NE(answers[size_t(i)].second.find("\"code\":\"busy\""), std::string::npos) << answers[size_t(i)].second;
    } else {
      EXPECT_EQ(answers[size_t(i)].first, 200) << answers[size_t(i)].second;
    }
  }
  EXPECT_EQ(refused, 1);
  const std::string paper = Paper(1);
  EXPECT_EQ(Count(paper, "APIDOC"), 9);
  const size_t hostAt = paper.find("CAFFE MACINATO", before);
  ASSERT_NE(hostAt, std::string::npos);
  // Receipts started after the host's SR_START and before its own: one at most.
  EXPECT_LE(Count(paper.substr(before, hostAt - before), "APIDOC"), 1) << paper.substr(before);
}

// A web till's retries: a POST whose connection drops mid-print and one
// sent again after its answer get the first answer, one receipt on paper;
// the key with another document is refused; a keyed POST cut off by kill -9
// is answered after the restart as the recovery decided. Documents with no
// line to print never reach the printer; UTF-8 texts print in Windows-1252.
TEST_F(Quilo1E2E, WebTillRetriesPrintOnceAndTextsArriveWhole) {
  std::string token;
  const int http = StartWithConsole(&token, {"--state", dir.File("state1"), "--log", dir.File("wire1")});
  const std::string doc = "PLUD,N1,Q1,P120,:WEB UNO;\r\nPLUD,N1,Q1,P130,:WEB DUE;\r\nCASH;\r\n";
  const std::string key = "Idempotency-Key: till-3/0001\r\n";

  Control(1, "pause-before 3011 1500");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int dropped = HttpSend(http, "POST", "/api/jobs", token, doc, key);
  ASSERT_GE(dropped, 0);
  ASSERT_TRUE(WaitFor([&] { return Paper(1).find("WEB DUE") != std::string::npos; }, 10000));
  close(dropped);
  auto [status, first] = Http(http, "POST", "/api/jobs", token, doc, nullptr, key);
  EXPECT_EQ(status, 200) << first;
  EXPECT_NE(first.find("\"number\":\"0001-0001\""), std::string::npos) << first;
  const size_t paperAfter = Paper(1).size();
  auto [again, second] = Http(http, "POST", "/api/jobs", token, doc, nullptr, key);
  EXPECT_EQ(again, 200);
  EXPECT_EQ(second, first);
  std::tie(status, second) = Http(http, "POST", "/api/jobs", token, doc + "PLUD,N1,Q1,P1,:ALTRO;\r\n", nullptr, key);
  EXPECT_EQ(status, 409) << second;
  EXPECT_EQ(Paper(1).size(), paperAfter);
  EXPECT_EQ(Count(Paper(1), "WEB DUE"), 1) << Paper(1);
  EXPECT_EQ(Count(Paper(1), "DOC.N."), 1) << Paper(1);
  std::tie(status, second) = Http(http, "GET", "/api/jobs?limit=1");
  EXPECT_NE(second.find("\"receipt\":\"0001-0001\""), std::string::npos) << second;

  // Nothing to print: refused, nothing on the wire; no receipt of another.
  Control(1, "clear");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const size_t wire = ReadFileBytes(dir.File("wire1")).size();
  for (const std::string& empty : {std::string(""), std::string(" \r\n\r\n"), std::string("NIENTE,X;\r\nBOH;\r\n")}) {
    std::tie(status, second) = Http(http, "POST", "/api/jobs", token, empty);
    EXPECT_EQ(status, 422) << empty;
    EXPECT_NE(second.find("\"message\":\"E511: Documento senza righe da stampare\""), std::string::npos) << second;
  }
  EXPECT_EQ(Commands(wire), std::vector<std::string>{});

  const std::string utf8 = "Content-Type: text/plain; charset=UTF-8\r\n";
  std::tie(status, second) = Http(http, "POST", "/api/jobs", token, "PLUD,N1,Q1,P150,:CAFF\xC3\x88;\r\nCASH;\r\n", nullptr, utf8);
  EXPECT_EQ(status, 200) << second;
  // One letter, which the conversion folds as it folds a Windows-1252 "\xC8"
  // (two bytes taken as they came printed "CAFFEe").
  EXPECT_EQ(Count(Paper(1), "CAFFE "), 1) << Paper(1);
  EXPECT_EQ(Count(Paper(1), "CAFFEe"), 0) << Paper(1);
  std::tie(status, second) =
      Http(http, "POST", "/api/jobs", token, "PLUD,N1,Q1,P150,:A;\r\nPLUD,N1,Q1,P150,:\xE2\x82\xBD;\r\nCASH;\r\n", nullptr, utf8);
  EXPECT_EQ(status, 422) << second;
  EXPECT_NE(second.find("alla riga 2"), std::string::npos) << second;

  // Cut off by kill -9 before the closing, sent again after the restart.
  const std::string cut = "PLUD,N1,Q1,P210,:TAGLIATO A;\r\nPLUD,N1,Q1,P220,:TAGLIATO B;\r\nCASH;\r\n";
  const std::string cutKey = "Idempotency-Key: till-3/0002\r\n";
  Control(1, "pause-before 7007TAGLIATO_B 3000");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int lost = HttpSend(http, "POST", "/api/jobs", token, cut, cutKey);
  ASSERT_TRUE(WaitFor([&] { return Paper(1).find("TAGLIATO A") != std::string::npos; }, 10000));
  kill(pid_t(quilo1->Id()), SIGKILL);
  quilo1.reset();
  close(lost);
  Control(1, "clear");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const size_t before = Paper(1).find("TAGLIATO A");
  StartQuilo1();
  ASSERT_TRUE(WaitFor([&] { return Http(http, "GET", "/api/status").first == 200; }, 10000));
  std::tie(status, second) = Http(http, "POST", "/api/jobs", token, cut, nullptr, cutKey);
  auto [retried, third] = Http(http, "POST", "/api/jobs", token, cut, nullptr, cutKey);
  EXPECT_EQ(retried, status);
  EXPECT_EQ(third, second);
  const std::string after = Paper(1).substr(before);
  if (status == 200) {
    EXPECT_EQ(Count(after, "DOC.N."), 1) << after;
  } else {
    EXPECT_EQ(status, 422) << second;
    EXPECT_NE(second.find("\"code\":\"E510\""), std::string::npos) << second;
    EXPECT_EQ(Count(after, "DOC.N."), 0) << after;
  }
  EXPECT_EQ(Count(after, "TAGLIATO A"), 1) << after;
  kill(pid_t(quilo1->Id()), SIGKILL);
}

// Kill -9 at each step of a receipt, then a restart: the host gets one true
// answer, the paper one receipt (FINESCO) or none (E510, SR_DATI kept). The
// first receipt of a fresh data directory, or (keys) one after a receipt of
// ours and one rung up on the printer's keys.
struct CrashCase {
  const char* name;
  const char* stopAt;  // QUILO1_TEST_STOP_AT of the run that crashes
  const char* fault;   // the printer's fault for the interrupted job
  const char* pause;   // quilo1 is killed once the printer logs "PAUSE " this
  bool powerCut;       // the printer is killed too and restarted on its state
  bool printed;        // FINESCO, else E510
  bool keys = false;   // our receipt, then one from the keys, before it
};

class CrashE2E : public Quilo1E2E, public ::testing::WithParamInterface<CrashCase> {
 protected:
  void StartPrinterOnState() {
    std::remove(dir.File("tty1").c_str());  // a killed printer leaves its link
    StartPrinter(1, {"--state", dir.File("state1"), "--log", dir.File("wire1")});
  }
  // Through a FIFO the printer reads at once: once the FIFO is drained the
  // fault holds for the next frame.
  void Fault(const std::string& command) {
    int fd = open(dir.File("control1").c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    const std::string line = command + "\n";
    EXPECT_EQ(write(fd, line.data(), line.size()), ssize_t(line.size()));
    int unread = 1;
    EXPECT_TRUE(WaitFor([&] { return ioctl(fd, FIONREAD, &unread) == 0 && unread == 0; }, 5000));
    close(fd);
  }
};

TEST_P(CrashE2E, OneReceiptOrNoneAndTheHostIsTold) {
  const CrashCase& c = GetParam();
  ASSERT_EQ(mkfifo(dir.File("control1").c_str(), 0600), 0);
  StartPrinterOnState();
  if (c.stopAt) setenv("QUILO1_TEST_STOP_AT", c.stopAt, 1);
  StartQuilo1();
  unsetenv("QUILO1_TEST_STOP_AT");
  Identified();
  if (c.keys) {
    Submit("PLUD,N1,Q1,P100,:PRIMO;\r\nCASH;\r\n");
    ASSERT_TRUE(JobEnded());
    ASSERT_TRUE(FileExists(D("FINESCO.001")));
    Fault("keys 500");
  }
  // Receipts and total before the interrupted one.
  const int64_t earlier = c.keys ? 600 : 0;
  const std::string number = c.keys ? "0003" : "0001";
  ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(dir.File("state1")).find("\nreceipts_total=" + std::to_string(earlier) + "\n") != std::string::npos; }, 5000));
  const size_t before = Paper(1).size();
  if (c.fault) {
    Fault(c.fault);
  }
  const std::string doc = "PLUD,N1,Q1,P111,:SECONDO A;\r\nPLUD,N1,Q1,P222,:SECONDO_B;\r\nCASH;\r\n";
  Submit(doc);
  if (c.pause) {
    ASSERT_TRUE(WaitFor([&] {
      return ReadFileBytes(dir.File("wire1")).find(std::string(" PAUSE ") + c.pause + "\n") != std::string::npos;
    }, 10000));
    kill(pid_t(quilo1->Id()), SIGKILL);
    if (c.powerCut) kill(pid_t(printers[0]->Id()), SIGKILL);
  }
  if (c.stopAt) {
    ASSERT_TRUE(WaitFor([&] { return !quilo1->Running(); }, 10000));
  }
  if (c.pause || c.stopAt) {
    quilo1.reset();
    EXPECT_FALSE(Answered()) << "answered before the crash";
    if (c.powerCut) {
      printers.clear();
      StartPrinterOnState();
    }
    StartQuilo1();
  }
  ASSERT_TRUE(JobEnded(1, 60000)) << ReadFileBytes(dir.File("quilo1.log"));
  EXPECT_FALSE(FileExists(D("SR_START.001")));
  const std::string paper = Paper(1).substr(before);
  EXPECT_EQ(Count(paper, "DOC.N."), c.printed ? 1 : 0) << paper;
  if (c.printed) {
    EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco");
    EXPECT_FALSE(FileExists(D("SR_ERR.001"))) << ReadFileBytes(D("SR_ERR.001"));
    EXPECT_FALSE(FileExists(D("SR_DATI.001")));
    const std::string out = ReadFileBytes(D("SR_OUT.001"));
    EXPECT_NE(out.find(" SCONTR. N.0001-" + number + ",E,A1;\r\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\nGTOT,V" + std::to_string(earlier + 333) + ";\r\n"), std::string::npos) << out;
  } else {
    EXPECT_EQ(ReadFileBytes(D("SR_ERR.001")),
              "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo\r\n");
    EXPECT_EQ(ReadFileBytes(D("SR_DATI.001")), doc);
    EXPECT_FALSE(FileExists(D("FINESCO.001")));
  }
  const std::string state = ReadFileBytes(dir.File("state1"));
  EXPECT_NE(state.find("\ngrand_total=" + std::to_string(earlier + (c.printed ? 333 : 0)) + "\n"), std::string::npos) << state;
  EXPECT_NE(state.find("\ndoc.kind=0\n"), std::string::npos) << state;
  // No clean closing to wait for.
  kill(pid_t(quilo1->Id()), SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(
    Points, CrashE2E,
    ::testing::Values(
        CrashCase{"BeforeTheFirstLine", nullptr, "pause-before 7007 2000", "7007", false, false},
        CrashCase{"AfterSomeSaleLines", nullptr, "pause-before 7007SECONDO_B 5000", "7007SECONDO_B", true, false},
        CrashCase{"ClosingSentPrinterCarriesOn", nullptr, "pause-before 3011 2000", "3011", false, true},
        CrashCase{"ClosingSentPowerCut", nullptr, "pause-before 3011 5000", "3011", true, false},
        CrashCase{"ClosedAnswerNotSent", nullptr, "pause-after 3011 2000", "3011", false, true},
        CrashCase{"ClosedAnswerNotSentPowerCut", nullptr, "pause-after 3011 5000", "3011", true, true},
        CrashCase{"ClosingAnswered", "closing-answered", nullptr, nullptr, false, true},
        CrashCase{"BeforeStartDeleted", "before-start-delete", nullptr, nullptr, false, true},
        CrashCase{"BeforeFinesco", "before-finesco", nullptr, nullptr, false, true},
        CrashCase{"ClosingAnswerDropped", nullptr, "drop-answer 3011 always", nullptr, false, true},
        CrashCase{"KeysThenClosingSentPowerCut", nullptr, "pause-before 3011 5000", "3011", true, false, true},
        CrashCase{"KeysThenClosedAnswerNotSentPowerCut", nullptr, "pause-after 3011 5000", "3011", true, true, true}),
    [](const ::testing::TestParamInfo<CrashCase>& info) { return std::string(info.param.name); });

// A journal whose last record a crash tore, then no journal at all:
// start-up says so and the next job is served.
TEST_F(Quilo1E2E, TornOrMissingJournalAtStartUp) {
  StartPrinter(1);
  StartQuilo1();
  Identified();
  Submit(kReceipt);
  ASSERT_TRUE(JobEnded());
  // The journal is the program's, out of the hosts' data directory.
  const std::string journal = prog + "/Quilo1.journal";
  EXPECT_FALSE(FileExists(D("Quilo1.journal")));
  struct stat st {};
  ASSERT_EQ(stat(journal.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  struct Case {
    const char* log;
    std::function<void()> damage;
  } cases[] = {
      {"l'ultimo record era incompleto", [&] { std::filesystem::resize_file(journal, std::filesystem::file_size(journal) - 3); }},
      {"Giornale dei lavori assente", [&] { std::filesystem::remove(journal); }},
  };
  for (const Case& c : cases) {
    kill(pid_t(quilo1->Id()), SIGKILL);
    quilo1.reset();
    c.damage();
    // Identified() waits for the new run's SR_MATR.
    std::remove(D("SR_MATR.001").c_str());
    StartQuilo1();
    Identified();
    EXPECT_NE(ReadFileBytes(dir.File("quilo1.log")).find(c.log), std::string::npos) << ReadFileBytes(dir.File("quilo1.log"));
    Submit(kReceipt);
    ASSERT_TRUE(JobEnded()) << c.log;
    EXPECT_EQ(ReadFileBytes(D("FINESCO.001")), "finesco") << c.log;
  }
  kill(pid_t(quilo1->Id()), SIGKILL);
}

}  // namespace
