// The card payment over real HTTP against virtual-pos on loopback: the
// request as it arrives, each outcome, and the wait on the event loop.
#include <gtest/gtest.h>

#include <cstdio>

#include "service/card_payment.h"
#include "payment/payment.h"
#include "payment/slip.h"
#include "platform/event_loop.h"
#include "platform/http_client.h"
#include "testing/temp_dir.h"
#include "virtual_pos_process.h"

namespace payment {
namespace {

using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class PaymentE2eTest : public ::testing::Test {
 protected:
  PaymentE2eTest() : loop_(platform::EventLoop::Create()), http_(platform::HttpClient::Create(*loop_)) {}

  void Setup(const std::string& url) {
    PaymentSetup setup;
    setup.loop = loop_.get();
    setup.http = http_.get();
    setup.serviceUrl = url;
    setup.dataDirectory = dir_.path();
    setup.files = files_.get();
    setup.options = &options_;
    setup.closing = [this] { return closing_; };
    setup.showMessage = [this](const std::string& text) { messages_.push_back(text); };
    pay_ = std::make_unique<PaymentRequest>(setup);
  }

  int16_t Pay(const std::string& line) {
    int64_t start = loop_->NowMs();
    int16_t outcome = pay_->EseguiPaga({line, "SALE,N1,P1250;", "CASH;"});
    printf("EseguiPaga(%s) = %d after %lld ms\n", line.c_str(), outcome, (long long)(loop_->NowMs() - start));
    return outcome;
  }

  std::string LogPath() { return dir_.File("requests.log"); }

  std::unique_ptr<platform::EventLoop> loop_;
  std::unique_ptr<platform::FileSystem> files_ = platform::FileSystem::CreateReal();
  std::unique_ptr<platform::HttpClient> http_;
  std::unique_ptr<PaymentRequest> pay_;
  testing_support::ScopedTempDir dir_;
  settings::Options options_;
  bool closing_ = false;
  std::vector<std::string> messages_;
};

TEST_F(PaymentE2eTest, ApprovalAndTheRequestOnTheWire) {
  VirtualPos pos(LogPath(), {"--card-type", "2", "--terminal", "T0042"});
  ASSERT_FALSE(pos.url().empty());
  Setup(pos.url());
  EXPECT_EQ(0, Pay("PAGA,V1250,P3;"));
  EXPECT_EQ(0, Pay("PAGA,V990,P0;"));
  std::string log = ReadFileBytes(LogPath());
  size_t second = log.find("GET /WebZentarposWS/api/Payment/990 HTTP/1.1\r\n");
  EXPECT_EQ(0u, log.find("GET /WebZentarposWS/api/Payment/1250/3 HTTP/1.1\r\n")) << log;
  EXPECT_NE(std::string::npos, second) << log;
  // The four headers, in order, after whatever the HTTP component adds first.
  std::string head = log.substr(0, second);
  size_t accept = head.find("\r\nAccept: text/html, application/xhtml+xml, application/xml; q=0.9, */*; q=0.8\r\n");
  size_t encoding = head.find("\r\nAccept-Encoding: gzip,deflate\r\n");
  size_t language = head.find("\r\nAccept-Language: it-IT, it; q=0.8, en-US; q=0.5, en; q=0.3\r\n");
  size_t connection = head.find("\r\nConnection: Keep-Alive\r\n");
  EXPECT_NE(std::string::npos, accept) << head;
  EXPECT_LT(accept, encoding) << head;
  EXPECT_LT(encoding, language) << head;
  EXPECT_LT(language, connection) << head;
  EXPECT_NE(std::string::npos, connection) << head;
  EXPECT_EQ(1u, [&] {
    size_t n = 0;
    for (size_t p = head.find("Accept-Encoding"); p != std::string::npos; p = head.find("Accept-Encoding", p + 1)) ++n;
    return n;
  }()) << head;

  const POSData& d = pay_->posData();
  EXPECT_EQ("00", d.TransactionResult);
  EXPECT_EQ("T0042", d.TerminalId);
  EXPECT_EQ("2", d.CardType);
  EXPECT_FALSE(d.STAN.empty());
  EXPECT_FALSE(d.DataTrs.empty());

  std::vector<std::string> slip;
  StampaEsitoPOS(pay_->posData(), [&](const std::string& c) -> int16_t {
    slip.push_back(c);
    return 0;
  });
  EXPECT_EQ(27u, slip.size());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentE2eTest, RefusalAndServiceErrors) {
  const std::string control = dir_.File("control");
  VirtualPos pos(LogPath(), {"--control", control});
  ASSERT_FALSE(pos.url().empty());
  Setup(pos.url());
  struct Case {
    const char* control;
    int16_t outcome;
    const char* result;
    const char* description;
  } cases[] = {
      {"--result 05\n--ko-description CARTA RIFIUTATA\n", kPosRefused, "05", "CARTA RIFIUTATA"},
      {"--error-message An error has occurred.\n", kPosServiceError, "KO", ""},
      {"--exception-message Terminale non raggiungibile\n", kPosServiceError, "KO", ""},
      {"--no-result\n", kPosServiceError, "KO", ""},
      {"", 0, "00", ""},
  };
  for (const auto& c : cases) {
    WriteFileBytes(control, c.control);
    EXPECT_EQ(c.outcome, Pay("PAGA,V700,P0;")) << c.control;
    EXPECT_EQ(c.result, pay_->posData().TransactionResult) << c.control;
    EXPECT_EQ(c.description, pay_->posData().KODescription) << c.control;
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentE2eTest, LateAnswerIsWaitedFor) {
  VirtualPos pos(LogPath(), {"--delay-ms", "1500"});
  Setup(pos.url());
  int ticks = 0;
  // The loop keeps running during the wait.
  std::function<void()> tick = [&] {
    ++ticks;
    loop_->AddTimer(100, tick);
  };
  loop_->AddTimer(100, tick);
  EXPECT_EQ(0, Pay("PAGA,V700,P0;"));
  printf("timer ticks during the wait: %d\n", ticks);
  EXPECT_GT(ticks, 0);
}

TEST_F(PaymentE2eTest, RefusedConnection) {
  std::string url;
  {
    VirtualPos pos(LogPath(), {});
    url = pos.url();
  }  // nobody listens there any more
  ASSERT_FALSE(url.empty());
  Setup(url);
  EXPECT_EQ(kPosNoConnection, Pay("PAGA,V700,P0;"));
  EXPECT_EQ(kNoConnection, pay_->posData().errorText);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentE2eTest, ClosingDuringTheWait) {
  VirtualPos pos(LogPath(), {"--silent"});
  Setup(pos.url());
  loop_->AddTimer(500, [this] { closing_ = true; });
  EXPECT_EQ(kPosTimedOut, Pay("PAGA,V700,P0;"));
  EXPECT_EQ(kTimedOut, pay_->posData().errorText);
  EXPECT_NE(std::string::npos, ReadFileBytes(LogPath()).find("GET /WebZentarposWS/api/Payment/700 HTTP/1.1"));

  // The client is free for the next payment.
  closing_ = false;
  VirtualPos next(dir_.File("next.log"), {});
  Setup(next.url());
  EXPECT_EQ(0, Pay("PAGA,V800,P0;"));
}

TEST_F(PaymentE2eTest, LogOfTheAnswer) {
  VirtualPos pos(LogPath(), {"--terminal", "T0042"});
  Setup(pos.url());
  options_.CheckLogPagamento = true;
  EXPECT_EQ(0, Pay("PAGA,V700,P0;"));
  platform::LocalTime t = platform::NowLocal();
  char folder[32];
  snprintf(folder, sizeof folder, "LOG-PAGAME-%04d%02d", t.year, t.month);
  std::vector<std::string> names;
  std::string listing = dir_.File(folder);
  FILE* ls = popen(("ls " + listing).c_str(), "r");
  char name[256];
  while (ls && fgets(name, sizeof name, ls)) names.push_back(name);
  if (ls) pclose(ls);
  ASSERT_EQ(1u, names.size());
  EXPECT_EQ(0u, names[0].find("POSDATA-"));
  EXPECT_NE(std::string::npos, names[0].find("-T0042.txt"));
  std::string content = ReadFileBytes(listing + "/" + names[0].substr(0, names[0].size() - 1));
  EXPECT_EQ(0u, content.find("<?xml"));
  EXPECT_NE(std::string::npos, content.find("<TerminalId>T0042</TerminalId>"));
}

TEST_F(PaymentE2eTest, HooksOfAJobWithTheAddressFromTheFile) {
  VirtualPos pos(LogPath(), {"--result", "51"});
  testing_support::ScopedTempDir programDir;
  WriteFileBytes(programDir.File(kServiceUrlFile), pos.url() + "/\r\n");
  std::vector<std::string> sent;
  service::CardPayment card(
      *loop_, *files_, programDir.path(), dir_.path(), options_,
      [this](const std::string& text) { messages_.push_back(text); },
      [&](const std::string& c) -> int16_t {
        sent.push_back(c);
        return 0;
      });
  EXPECT_EQ(kPosRefused, card.Request({"PAGA,V4500,P0;", "CASH;"}));
  card.PrintSlip();
  ASSERT_EQ(12u, sent.size());
  EXPECT_EQ(SlipLine("ESITO : 51"), sent[5]);

  // Closing: the wait ends as timed out and nothing goes to the printer.
  sent.clear();
  card.Closing();
  EXPECT_EQ(kPosTimedOut, card.Request({"PAGA,V4600,P0;", "CASH;"}));
  card.PrintSlip();
  EXPECT_TRUE(sent.empty());
  EXPECT_EQ(0u, ReadFileBytes(LogPath()).find("GET /WebZentarposWS/api/Payment/4500 HTTP/1.1"));
}

}  // namespace
}  // namespace payment
