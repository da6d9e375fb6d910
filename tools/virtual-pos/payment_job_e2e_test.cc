// The card payment in real jobs: quilo1 serving virtual-ecr on a
// pseudo-terminal and asking virtual-pos, with the host's side played by
// writing and reading the exchange files.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "payment/slip.h"
#include "platform/child_process.h"
#include "testing/temp_dir.h"
#include "virtual_pos_process.h"

namespace payment {
namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

const char kReceipt[] = "SALE,N1,:PANE,P1250;\r\nCASH;\r\n";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class PaymentJobE2eTest : public ::testing::Test {
 protected:
  PaymentJobE2eTest() : pos_(dir_.File("requests.log"), {"--control", dir_.File("control"), "--card-type", "2"}) {
    prog_ = dir_.File("prog");
    data_ = dir_.File("data");
    mkdir(prog_.c_str(), 0755);
    mkdir(data_.c_str(), 0755);
    WriteFileBytes(prog_ + "/QLCHKCOM.TXT", "1000\r\n");  // COM1 only
    WriteFileBytes(prog_ + "/QLTIMER1.TXT", "100\r\n");
    WriteFileBytes(prog_ + "/QLPOSURL.TXT", pos_.url() + "\r\n");
    WriteFileBytes(dir_.File("control"), "");
  }
  ~PaymentJobE2eTest() override {
    quilo1_.reset();
    printer_.reset();
  }

  // The printer, then quilo1, which identifies it before taking jobs.
  void Start() {
    std::string tty = dir_.File("tty");
    std::string error;
    WriteFileBytes(dir_.File("printer-control"), "");
    printer_ = platform::ChildProcess::Start(
        {VIRTUAL_ECR_BIN, "--link", tty, "--paper", dir_.File("paper"), "--control", dir_.File("printer-control")},
        dir_.File("virtual-ecr.log"), &error);
    ASSERT_TRUE(printer_) << error;
    ASSERT_TRUE(WaitFor([&] { return FileExists(tty); }, 5000));
    quilo1_ = platform::ChildProcess::Start(
        {QUILO1_BIN, "--program-dir", prog_, "--data-dir", data_, "--com", "1=" + tty}, dir_.File("quilo1.log"),
        &error);
    ASSERT_TRUE(quilo1_) << error;
    ASSERT_TRUE(WaitFor([&] { return FileExists(D("SR_MATR.001")); }, 20000)) << ReadFileBytes(dir_.File("quilo1.log"));
  }

  void Job(const std::string& document) {
    WriteFileBytes(D("SR_DATI.001"), document);
    WriteFileBytes(D("SR_START.001"), "");
  }
  // FINESCO, or a whole SR_ERR with the job over: SR_START goes before
  // FINESCO is written.
  bool WaitForEnd() {
    return WaitFor([&] {
      const std::string err = ReadFileBytes(D("SR_ERR.001"));
      return FileExists(D("FINESCO.001")) ||
             (err.size() >= 2 && err.compare(err.size() - 2, 2, "\r\n") == 0 && !FileExists(D("SR_START.001")));
    }, 20000);
  }

  std::string D(const std::string& name) { return data_ + "/" + name; }
  std::string Paper() { return ReadFileBytes(dir_.File("paper")); }

  testing_support::ScopedTempDir dir_;
  VirtualPos pos_;
  std::string prog_, data_;
  std::unique_ptr<platform::ChildProcess> printer_, quilo1_;
};

TEST_F(PaymentJobE2eTest, ApprovedPaymentThenReceiptAndSlip) {
  ASSERT_FALSE(pos_.url().empty());
  Start();
  Job(std::string("PAGA,V1250,P0;\r\n") + kReceipt);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_TRUE(WaitFor([&] { return FileExists(D("FINESCO.001")); }, 5000));
  EXPECT_FALSE(FileExists(D("SR_ERR.001")));
  EXPECT_EQ(0u, ReadFileBytes(dir_.File("requests.log")).find("GET /WebZentarposWS/api/Payment/1250 HTTP/1.1\r\n"));
  std::string paper = Paper();
  size_t receipt = paper.find("CONTANTI");
  size_t slip = paper.find("* ACQUISTO CON POS *");
  EXPECT_NE(std::string::npos, receipt) << paper;
  EXPECT_LT(receipt, slip) << paper;
  EXPECT_NE(std::string::npos, paper.find("IMPORTO EUR           12.50")) << paper;
  EXPECT_NE(std::string::npos, paper.find("C/M  SIGNATURE      FIRMA")) << paper;
}

// A terminal id with two frames hidden in it: the slip prints blanks there
// and the printer carries out no daily closing.
TEST_F(PaymentJobE2eTest, FramesInTheAnswerRunNoCommandOfTheirOwn) {
  Start();
  WriteFileBytes(dir_.File("control"), "--terminal T1\x02" "980400461\x03\x02" "990200258\x03\n");
  Job(std::string("PAGA,V1250,P0;\r\n") + kReceipt);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_TRUE(WaitFor([&] { return FileExists(D("FINESCO.001")); }, 5000)) << ReadFileBytes(D("SR_ERR.001"));
  const std::string paper = Paper();
  EXPECT_NE(std::string::npos, paper.find("TerminalId : T1 980400461  990200258 ")) << paper;
  EXPECT_EQ(0, Count(paper, "CHIUSURA")) << paper;
  EXPECT_EQ(0, Count(paper, "LETTURA")) << paper;
}

// A card is charged once per document: the receipt refused after the
// approval, the host is told as ever and the logs say the card was charged;
// the same document sent again prints with that approval, its slip a copy.
TEST_F(PaymentJobE2eTest, ReceiptRefusedAfterTheApprovalThenSentAgain) {
  // The payment log on (the 15th option).
  WriteFileBytes(prog_ + "/QLCHKSCO.TXT", "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nS\r\n1\r\n0\r\n");
  Start();
  WriteFileBytes(dir_.File("printer-control"), "err 3101 12\n");
  const std::string document = std::string("PAGA,V1250,P0;\r\n") + kReceipt;
  Job(document);
  ASSERT_TRUE(WaitForEnd());
  const std::string err = ReadFileBytes(D("SR_ERR.001"));
  EXPECT_EQ(0u, err.find("Errore 12 ")) << err;
  EXPECT_EQ(err.find("\r\n"), err.size() - 2) << err;  // one line, as ever
  const std::string charged = "Pagamento con carta gi\xE0 addebitato: EUR 12.50, autorizzazione ";
  EXPECT_NE(std::string::npos, ReadFileBytes(dir_.File("quilo1.log")).find(charged)) << ReadFileBytes(dir_.File("quilo1.log"));
  std::string paymentLog;
  for (const auto& month : std::filesystem::directory_iterator(data_))
    if (month.path().filename().string().rfind("LOG-PAGAME-", 0) == 0)
      for (const auto& file : std::filesystem::directory_iterator(month.path())) paymentLog += ReadFileBytes(file.path());
  EXPECT_NE(std::string::npos, paymentLog.find(charged)) << paymentLog;

  // The host sends the same document again.
  WriteFileBytes(dir_.File("printer-control"), "clear\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::remove(D("SR_ERR.001").c_str());
  Job(document);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_TRUE(FileExists(D("FINESCO.001"))) << ReadFileBytes(D("SR_ERR.001"));
  EXPECT_EQ(1, Count(ReadFileBytes(dir_.File("requests.log")), "GET /WebZentarposWS/api/Payment/"));
  const std::string paper = Paper();
  EXPECT_EQ(1, Count(paper, "CONTANTI")) << paper;
  EXPECT_EQ(2, Count(paper, "* ACQUISTO CON POS *")) << paper;
  const size_t copy = paper.find(kSlipCopyLine);
  ASSERT_NE(std::string::npos, copy) << paper;
  EXPECT_LT(paper.find("CONTANTI"), copy) << paper;
  EXPECT_EQ(1, Count(paper, kSlipCopyLine)) << paper;
}

TEST_F(PaymentJobE2eTest, RefusedPaymentPrintsOnlyTheSlip) {
  Start();
  WriteFileBytes(dir_.File("control"), "--result 05\n--ko-description CARTA RIFIUTATA\n");
  Job(std::string("PAGA,V700,P2;\r\n") + kReceipt);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(0u, ReadFileBytes(D("SR_ERR.001")).find("E603: TRANSAZIONE ANNULLATA  DAL TERMINALE POS"));
  EXPECT_TRUE(FileExists(D("SR_DATI.001")));
  std::string paper = Paper();
  EXPECT_EQ(0, Count(paper, "CONTANTI")) << paper;
  EXPECT_NE(std::string::npos, paper.find("ESITO : 05")) << paper;
  EXPECT_NE(std::string::npos, paper.find("KODescription : CARTA RIFIUTATA")) << paper;
}

TEST_F(PaymentJobE2eTest, NoServiceListening) {
  WriteFileBytes(prog_ + "/QLPOSURL.TXT", "http://127.0.0.1:1\r\n");
  Start();
  Job(std::string("PAGA,V700,P0;\r\n") + kReceipt);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(0u, ReadFileBytes(D("SR_ERR.001")).find("E604: A connection with the server could not be established"));
  EXPECT_NE(std::string::npos, Paper().find("DESCR. ERR       : A connection with the server could not be established"));
}

TEST_F(PaymentJobE2eTest, ClosingWhileTheCustomerIsAtTheTerminal) {
  Start();
  WriteFileBytes(dir_.File("control"), "--silent\n");
  Job(std::string("PAGA,V900,P0;\r\n") + kReceipt);
  ASSERT_TRUE(WaitFor([&] { return FileExists(dir_.File("requests.log")); }, 20000));
  std::string before = Paper();
  kill(pid_t(quilo1_->Id()), SIGTERM);
  ASSERT_TRUE(WaitFor([&] { return !quilo1_->Running(); }, 20000));
  EXPECT_EQ(0u, ReadFileBytes(D("SR_ERR.001")).find("E601: Trasmissione POS interrotta: timeout ricevuto"));
  EXPECT_EQ(before, Paper());
}

}  // namespace
}  // namespace payment
