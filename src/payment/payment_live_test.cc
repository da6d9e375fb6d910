// The card payment through the platform's own HTTP client and XML parser,
// when QUILO1_HTTP_TEST_URL names a running virtual-pos (it runs under Wine
// too, where the native end-to-end tests cannot).
#include <gtest/gtest.h>

#include <cstdlib>

#include "payment/payment.h"
#include "language/language.h"
#include "platform/event_loop.h"
#include "platform/http_client.h"
#include "settings/document.h"
#include "testing/temp_dir.h"

namespace payment {
namespace {

TEST(PaymentLiveTest, ApprovalFromARunningService) {
  const char* url = std::getenv("QUILO1_HTTP_TEST_URL");
  if (!url || !*url) GTEST_SKIP() << "QUILO1_HTTP_TEST_URL is not set";
  auto loop = platform::EventLoop::Create();
  auto http = platform::HttpClient::Create(*loop);
  testing_support::ScopedTempDir dir;
  settings::Options options;
  options.CheckLogPagamento = true;
  PaymentSetup setup;
  setup.loop = loop.get();
  setup.http = http.get();
  setup.serviceUrl = url;
  setup.dataDirectory = dir.path();
  auto files = platform::FileSystem::CreateReal();
  setup.files = files.get();
  setup.options = &options;
  std::vector<std::string> messages;
  setup.showMessage = [&](const std::string& text) { messages.push_back(text); };
  PaymentRequest pay(setup);

  EXPECT_EQ(0, pay.EseguiPaga(language::SplitLines("PAGA,V1250,P3;\r\nCASH;\r\n")));
  EXPECT_EQ("00", pay.posData().TransactionResult);
  EXPECT_FALSE(pay.posData().TerminalId.empty());
  EXPECT_FALSE(pay.posData().DataTrs.empty());
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace payment
