// Tests of the payment request: the PAGA line, the request, the outcomes
// and the log, with a scripted HTTP client on virtual time.
#include "payment/payment.h"

#include <gtest/gtest.h>

#include <optional>

#include "language/language.h"
#include "payment/slip.h"
#include "settings/document.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_file_system.h"

namespace payment {
namespace {

using platform::HttpResponse;

// Records each request and answers it after `delayMs` of virtual time, or
// never when no response is scripted.
class FakeHttpClient : public platform::HttpClient {
 public:
  explicit FakeHttpClient(platform::EventLoop& loop) : loop_(loop) {}
  void Get(const std::string& url, const std::vector<platform::HttpHeader>& headers,
           std::function<void(const HttpResponse&)> done) override {
    urls.push_back(url);
    lastHeaders = headers;
    if (!response) return;
    timer_ = loop_.AddTimer(delayMs, [this, done, r = *response] {
      timer_ = 0;
      done(r);
    });
  }
  void Cancel() override {
    ++cancels;
    if (timer_) loop_.CancelTimer(timer_);
    timer_ = 0;
  }

  std::optional<HttpResponse> response;
  int64_t delayMs = 10;
  std::vector<std::string> urls;
  std::vector<platform::HttpHeader> lastHeaders;
  int cancels = 0;

 private:
  platform::EventLoop& loop_;
  int timer_ = 0;
};

HttpResponse Answer(const std::string& body) {
  HttpResponse r;
  r.status = HttpResponse::Status::kAnswered;
  r.httpStatus = 200;
  r.body = body;
  return r;
}

std::string PosAnswer(const std::string& result, const std::string& cardType = "1",
                      const std::string& koDescription = "NEGATA") {
  return "<NativeMethods.POSData><TerminalId>T0001</TerminalId><AcquirerId>ACQ9</AcquirerId>"
         "<TransactionType>SALE</TransactionType><TransactionResult>" +
         result + "</TransactionResult><KODescription>" + koDescription + "</KODescription><CardType>" + cardType +
         "</CardType><STAN>000123</STAN><PAN>************1234</PAN><AuthorizationCode>AB12</AuthorizationCode>"
         "<OperationNumber>0042</OperationNumber><DataTrs>03/05/2024 14:05</DataTrs></NativeMethods.POSData>";
}

class PaymentTest : public ::testing::Test {
 protected:
  PaymentTest() : http_(loop_) {
    fs_.AddDirectory(kData);
    PaymentSetup setup;
    setup.loop = &loop_;
    setup.http = &http_;
    setup.serviceUrl = "http://127.0.0.1:8088";
    setup.dataDirectory = kData;
    setup.files = &fs_;
    setup.options = &options_;
    setup.closing = [this] { return closing_; };
    setup.showMessage = [this](const std::string& text) { messages_.push_back(text); };
    setup.now = [] { return platform::LocalTime{2024, 5, 3, 14, 5, 9, 0}; };
    pay_ = std::make_unique<PaymentRequest>(setup);
  }

  int16_t Run(const std::string& document) { return pay_->EseguiPaga(language::SplitLines(document)); }
  std::string DataFile(const std::string& name) const { return kData + (platform::PathSeparator() + name); }

  testing_support::FakeEventLoop loop_;
  std::unique_ptr<PaymentRequest> pay_;
  FakeHttpClient http_;
  static constexpr char kData[] = "data";
  testing_support::FakeFileSystem fs_;
  settings::Options options_;
  bool closing_ = false;
  std::vector<std::string> messages_;
};

TEST(PaymentPathTest, ExtraFieldOnlyWhenNotZero) {
  EXPECT_EQ("/WebZentarposWS/api/Payment/1250", PaymentPath(1250, 0));
  EXPECT_EQ("/WebZentarposWS/api/Payment/1250/3", PaymentPath(1250, 3));
  EXPECT_EQ("/WebZentarposWS/api/Payment/7/-2", PaymentPath(7, -2));
}

TEST_F(PaymentTest, RequestUrlFromThePagaLine) {
  struct Case {
    const char* line;
    const char* path;
  } cases[] = {
      {"PAGA,V1250,P0;\r\n", "/WebZentarposWS/api/Payment/1250"},
      {"PAGA,V1250,P3;\r\n", "/WebZentarposWS/api/Payment/1250/3"},
      {"paga,p3.9,v1250\r\nSALE,N1,P100;\r\n", "/WebZentarposWS/api/Payment/1250/3"},
  };
  http_.response = Answer(PosAnswer("00"));
  for (const auto& c : cases) {
    http_.urls.clear();
    EXPECT_EQ(0, Run(c.line)) << c.line;
    ASSERT_EQ(1u, http_.urls.size()) << c.line;
    EXPECT_EQ(std::string("http://127.0.0.1:8088") + c.path, http_.urls[0]);
  }
}

TEST_F(PaymentTest, HeadersInOrder) {
  http_.response = Answer(PosAnswer("00"));
  Run("PAGA,V100,P0;");
  ASSERT_EQ(4u, http_.lastHeaders.size());
  const char* expected[][2] = {
      {"Accept", "text/html, application/xhtml+xml, application/xml; q=0.9, */*; q=0.8"},
      {"Accept-Encoding", "gzip,deflate"},
      {"Accept-Language", "it-IT, it; q=0.8, en-US; q=0.5, en; q=0.3"},
      {"Connection", "Keep-Alive"},
  };
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(expected[i][0], http_.lastHeaders[i].name);
    EXPECT_EQ(expected[i][1], http_.lastHeaders[i].value);
  }
}

TEST_F(PaymentTest, LinesThatRequestNothing) {
  http_.response = Answer(PosAnswer("00"));
  const char* documents[] = {
      "",
      "\r\n",
      "SALE,N1,P100;\r\nPAGA,V1250,P0;\r\n",  // not the first line
      "PAGA,V0,P1;",
      "PAGA,V1250;",
      "PAGA,P3;",
      "PAGA",
      " PAGA,V1250,P0;",
      "XPAGA,V1250,P0;",
  };
  for (const char* d : documents) {
    EXPECT_EQ(0, Run(d)) << d;
    EXPECT_EQ("", pay_->posData().commandWord) << d;
  }
  EXPECT_TRUE(http_.urls.empty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentTest, ApprovedPaymentKeepsTheTransaction) {
  http_.response = Answer(PosAnswer("00", "2"));
  EXPECT_EQ(0, Run("PAGA,V1250,P0;"));
  const POSData& d = pay_->posData();
  EXPECT_EQ("PAGA", d.commandWord);
  EXPECT_EQ("1250", d.amount);
  EXPECT_EQ("00", d.TransactionResult);
  EXPECT_EQ("00", d.resultDescription);
  EXPECT_EQ("T0001", d.TerminalId);
  EXPECT_EQ("ACQ9", d.AcquirerId);
  EXPECT_EQ("SALE", d.TransactionType);
  EXPECT_EQ("NEGATA", d.KODescription);
  EXPECT_EQ("2", d.CardType);
  EXPECT_EQ("000123", d.STAN);
  EXPECT_EQ("************1234", d.PAN);
  EXPECT_EQ("AB12", d.AuthorizationCode);
  EXPECT_EQ("0042", d.OperationNumber);
  EXPECT_EQ("03/05/2024 14:05", d.DataTrs);
  EXPECT_EQ("03/05/2024 14:05", d.transactionDate);
  EXPECT_EQ("", d.errorText);
}

TEST_F(PaymentTest, OutcomeOfEachAnswer) {
  struct Case {
    const char* name;
    HttpResponse response;
    int16_t outcome;
    const char* result;
    const char* description;
    const char* errorText;
  };
  HttpResponse refused = Answer("");
  refused.status = HttpResponse::Status::kCannotConnect;
  Case cases[] = {
      {"approved", Answer(PosAnswer("00")), 0, "00", "00", ""},
      {"refused", Answer(PosAnswer("05")), kPosRefused, "05", "05", ""},
      {"message only", Answer("<Error><Message>Terminale occupato</Message></Error>"), kPosServiceError, "KO",
       "TRANSAZIONE ANNULLATA", ""},
      {"exception", Answer("<Error><Message>x</Message><ExceptionMessage>Boom</ExceptionMessage></Error>"),
       kPosServiceError, "KO", "TRANSAZIONE ANNULLATA", ""},
      {"no result", Answer("<NativeMethods.POSData><TerminalId>T1</TerminalId></NativeMethods.POSData>"),
       kPosServiceError, "KO", "TRANSAZIONE ANNULLATA", ""},
      {"not xml", Answer("<html><body>502 Bad Gateway"), kPosServiceError, "KO", "TRANSAZIONE ANNULLATA", ""},
      {"empty", Answer(""), kPosServiceError, "KO", "TRANSAZIONE ANNULLATA", ""},
      {"no connection", refused, kPosNoConnection, "", "", kNoConnection},
  };
  for (const auto& c : cases) {
    http_.response = c.response;
    EXPECT_EQ(c.outcome, Run("PAGA,V500,P1;")) << c.name;
    const POSData& d = pay_->posData();
    EXPECT_EQ("PAGA", d.commandWord) << c.name;
    EXPECT_EQ(c.result, d.TransactionResult) << c.name;
    EXPECT_EQ(c.description, d.resultDescription) << c.name;
    EXPECT_EQ(c.errorText, d.errorText) << c.name;
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentTest, OtherHttpFailureShowsTheErrorAndFails) {
  HttpResponse failed;
  failed.status = HttpResponse::Status::kFailed;
  failed.errorNumber = 56;
  failed.errorText = "Failure when receiving data from the peer";
  http_.response = failed;
  EXPECT_EQ(kPosServiceError, Run("PAGA,V500,P1;"));
  EXPECT_EQ("KO", pay_->posData().TransactionResult);
  ASSERT_EQ(1u, messages_.size());
  EXPECT_EQ("Errore 56: Failure when receiving data from the peer in ModulePagame.Pagame:6.", messages_[0]);
}

// An answer with another status than 200 is never a payment; the service's
// own Error answers keep their outcome without a message.
TEST_F(PaymentTest, StatusOtherThan200IsNoPayment) {
  struct Case {
    int status;
    std::string body;
    size_t messages;
  } cases[] = {
      {500, PosAnswer("00"), 1},
      {404, "<html>Not Found</html>", 1},
      {500, "<Error><ExceptionMessage>Terminale non raggiungibile</ExceptionMessage></Error>", 0},
  };
  for (const auto& c : cases) {
    messages_.clear();
    http_.response = Answer(c.body);
    http_.response->httpStatus = c.status;
    EXPECT_EQ(kPosServiceError, Run("PAGA,V500,P1;")) << c.status << c.body;
    EXPECT_EQ("KO", pay_->posData().TransactionResult) << c.status;
    ASSERT_EQ(c.messages, messages_.size()) << c.status;
    if (c.messages) {
      EXPECT_EQ("Errore " + std::to_string(c.status) + ": HTTP " + std::to_string(c.status) +
                    " in ModulePagame.Pagame:7.",
                messages_[0]);
    }
  }
}

TEST_F(PaymentTest, WaitsWithoutLimitUntilTheAnswer) {
  http_.response = Answer(PosAnswer("00"));
  http_.delayMs = 3 * 3600 * 1000;  // the customer took three hours
  int64_t start = loop_.NowMs();
  EXPECT_EQ(0, Run("PAGA,V500,P0;"));
  EXPECT_GE(loop_.NowMs() - start, http_.delayMs);
}

TEST_F(PaymentTest, ClosingTheProgramEndsTheWaitAsTimedOut) {
  http_.response.reset();  // the service never answers
  loop_.AddTimer(60000, [this] { closing_ = true; });
  EXPECT_EQ(kPosTimedOut, Run("PAGA,V500,P0;"));
  EXPECT_EQ(kTimedOut, pay_->posData().errorText);
  EXPECT_EQ("PAGA", pay_->posData().commandWord);
  EXPECT_EQ(1, http_.cancels);
}

TEST_F(PaymentTest, LogHoldsTheRawAnswer) {
  options_.CheckLogPagamento = true;
  const std::string answer = PosAnswer("05");
  http_.response = Answer(answer);
  EXPECT_EQ(kPosRefused, Run("PAGA,V500,P0;"));
  std::string file = DataFile("LOG-PAGAME-202405") + platform::PathSeparator() + "POSDATA-20240503140509-T0001.txt";
  ASSERT_TRUE(fs_.HasFile(file));
  EXPECT_EQ(answer + "\r\n", fs_.Contents(file));

  // A second answer in the same second replaces the file.
  http_.response = Answer(PosAnswer("00"));
  EXPECT_EQ(0, Run("PAGA,V500,P0;"));
  EXPECT_EQ(PosAnswer("00") + "\r\n", fs_.Contents(file));
}

TEST_F(PaymentTest, LogNameWithAnOddTerminalId) {
  options_.CheckLogPagamento = true;
  http_.response = Answer("<NativeMethods.POSData><TerminalId>12/34:56</TerminalId>"
                          "<TransactionResult>00</TransactionResult></NativeMethods.POSData>");
  EXPECT_EQ(0, Run("PAGA,V500,P0;"));
  EXPECT_EQ("12/34:56", pay_->posData().TerminalId);
  EXPECT_TRUE(fs_.HasFile(DataFile("LOG-PAGAME-202405") + platform::PathSeparator() + "POSDATA-20240503140509-12_34_56.txt"));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(PaymentTest, NoLogWithoutTheOptionOrAfterAnException) {
  http_.response = Answer(PosAnswer("00"));
  Run("PAGA,V500,P0;");
  EXPECT_FALSE(fs_.HasFile(DataFile("LOG-PAGAME-202405")));

  options_.CheckLogPagamento = true;
  http_.response = Answer("<Error><ExceptionMessage>Boom</ExceptionMessage></Error>");
  EXPECT_EQ(kPosServiceError, Run("PAGA,V500,P0;"));
  EXPECT_FALSE(fs_.HasFile(DataFile("LOG-PAGAME-202405")));

  // A missing transaction result is still logged, under an empty terminal.
  http_.response = Answer("<Error><Message>m</Message></Error>");
  EXPECT_EQ(kPosServiceError, Run("PAGA,V500,P0;"));
  EXPECT_TRUE(fs_.HasFile(DataFile("LOG-PAGAME-202405") + platform::PathSeparator() + "POSDATA-20240503140509-.txt"));
}

TEST_F(PaymentTest, LogThatCannotBeWrittenKeepsTheOutcome) {
  PaymentSetup setup;
  setup.loop = &loop_;
  setup.http = &http_;
  setup.dataDirectory = DataFile("missing") + platform::PathSeparator() + "deeper";
  setup.files = &fs_;
  setup.options = &options_;
  setup.showMessage = [this](const std::string& text) { messages_.push_back(text); };
  pay_ = std::make_unique<PaymentRequest>(setup);
  options_.CheckLogPagamento = true;
  http_.response = Answer(PosAnswer("00"));
  EXPECT_EQ(0, Run("PAGA,V500,P0;"));
  ASSERT_EQ(1u, messages_.size());
  EXPECT_EQ(0u, messages_[0].find("ERRORE-CHIAMATA-POS = "));
}

TEST_F(PaymentTest, AmountTooLargeIsReportedAndNothingAsked) {
  http_.response = Answer(PosAnswer("00"));
  EXPECT_EQ(0, Run("PAGA,V99999999999,P0;"));
  EXPECT_TRUE(http_.urls.empty());
  EXPECT_EQ("", pay_->posData().commandWord);
  ASSERT_EQ(1u, messages_.size());
  EXPECT_EQ(0u, messages_[0].find("ERRORE-CHIAMATA-POS = "));
}

TEST_F(PaymentTest, AnswerTextInTheProgramsCodePage) {
  options_.CheckLogPagamento = true;
  const std::string file =
      DataFile("LOG-PAGAME-202405") + platform::PathSeparator() + "POSDATA-20240503140509-T0001.txt";
  struct Case {
    const char* name;
    std::string body;
    const char* koDescription;
    std::string logged;
  } cases[] = {
      // UTF-8, with and without its byte-order mark, as services send it.
      {"utf-8", PosAnswer("05", "1", "Carta gi\xc3\xa0 usata \xe2\x82\xac"), "Carta gi\xe0 usata \x80",
       PosAnswer("05", "1", "Carta gi\xe0 usata \x80")},
      {"utf-8 with mark", "\xef\xbb\xbf" + PosAnswer("05", "1", "Citt\xc3\xa0"), "Citt\xe0",
       PosAnswer("05", "1", "Citt\xe0")},
      // Not UTF-8: already single bytes, kept as they came.
      {"single bytes", PosAnswer("05", "1", "Citt\xe0"), "Citt\xe0", PosAnswer("05", "1", "Citt\xe0")},
  };
  for (const auto& c : cases) {
    http_.response = Answer(c.body);
    EXPECT_EQ(kPosRefused, Run("PAGA,V500,P0;")) << c.name;
    EXPECT_EQ(c.koDescription, pay_->posData().KODescription) << c.name;
    EXPECT_EQ(c.logged + "\r\n", fs_.Contents(file)) << c.name;
  }
}

// A service that hides frames in its texts ("&#2;...&#3;"): every text the
// slip prints has blanks there, and the payment log says so.
TEST_F(PaymentTest, ControlBytesOfTheAnswerBecomeBlanks) {
  options_.CheckLogPagamento = true;
  int kept = 0;
  for (int b = 0; b < 0x20; ++b) {
    const std::string ref = "&#" + std::to_string(b) + ";";
    std::string body = PosAnswer("00", "1", "OK" + ref);
    body.replace(body.find("T0001"), 5, "T1" + ref + "990200258" + ref);
    http_.response = Answer(body);
    Run("PAGA,V500,P0;");
    const POSData& d = pay_->posData();
    std::vector<std::string> sent;
    StampaEsitoPOS(d, [&sent](const std::string& command) -> int16_t {
      sent.push_back(command);
      return 0;
    });
    ASSERT_FALSE(sent.empty()) << b;
    for (const std::string& command : sent)
      for (unsigned char ch : command) ASSERT_GE(ch, 0x20) << b << ": " << command;
    // The parser refuses the references XML forbids; whatever it keeps is
    // blanked. MSXML trims the text's ends, so the exact texts are pugixml's.
    if (d.TerminalId.rfind("T1", 0) == 0 && d.TerminalId.find("990200258") != std::string::npos) {
      ++kept;
      for (unsigned char ch : d.TerminalId + d.KODescription) EXPECT_GE(ch, 0x20) << b;
    }
    if (d.TerminalId.size() == 13) {
      EXPECT_EQ(d.TerminalId, "T1 990200258 ") << b;
      EXPECT_EQ(d.KODescription, "OK ") << b;
      EXPECT_EQ(d.controlBytesBlanked, 3u) << b;
      const std::string log = fs_.Contents(DataFile("LOG-PAGAME-202405") + platform::PathSeparator() +
                                           "POSDATA-20240503140509-T1 990200258 .txt");
      EXPECT_NE(log.find("\r\nCaratteri di controllo sostituiti da spazi: 3\r\n"), std::string::npos) << b;
    }
  }
  EXPECT_GE(kept, 3);  // tab, LF and CR at least: XML allows them
}

TEST(ServiceUrlTest, FirstLineOfTheFileOrTheDefault) {
  testing_support::FakeFileSystem fs;
  const std::string file = std::string("prog") + platform::PathSeparator() + kServiceUrlFile;
  EXPECT_EQ(kDefaultServiceUrl, ReadServiceUrl(fs, "prog"));
  fs.AddFile(file, "  https://pos.local:9443/ \r\nsecond\r\n");
  EXPECT_EQ("https://pos.local:9443", ReadServiceUrl(fs, "prog"));
  fs.AddFile(file, "\r\nhttp://elsewhere\r\n");
  EXPECT_EQ(kDefaultServiceUrl, ReadServiceUrl(fs, "prog"));
  // An address without its scheme is taken as http on both systems.
  fs.AddFile(file, "192.168.1.20:9000\r\n");
  EXPECT_EQ("http://192.168.1.20:9000", ReadServiceUrl(fs, "prog"));
  // A link in its place is not followed.
  fs.RemoveFile(file);
  fs.AddOther(file);
  EXPECT_EQ(kDefaultServiceUrl, ReadServiceUrl(fs, "prog"));
}

}  // namespace
}  // namespace payment
