// The payment service's answer: any body (byte 0 picks the HTTP outcome)
// given to a card payment. The outcome is always one of the documented
// ones, only an answer whose transaction result is "00" pays, and the slip's
// commands hold no byte below 0x20.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "payment/payment.h"
#include "payment/slip.h"
#include "testing/fake_event_loop.h"

namespace {

class OneAnswer : public platform::HttpClient {
 public:
  explicit OneAnswer(platform::EventLoop& loop) : loop_(loop) {}
  void Get(const std::string&, const std::vector<platform::HttpHeader>&,
           std::function<void(const platform::HttpResponse&)> done) override {
    timer_ = loop_.AddTimer(10, [this, done] {
      timer_ = 0;
      done(response);
    });
  }
  void Cancel() override {
    if (timer_) loop_.CancelTimer(timer_);
    timer_ = 0;
  }
  platform::HttpResponse response;

 private:
  platform::EventLoop& loop_;
  int timer_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  testing_support::FakeEventLoop loop;
  OneAnswer http(loop);
  static const platform::HttpResponse::Status kStatus[] = {platform::HttpResponse::Status::kAnswered,
                                                           platform::HttpResponse::Status::kCannotConnect,
                                                           platform::HttpResponse::Status::kFailed};
  http.response.status = data[0] < 240 ? kStatus[0] : kStatus[data[0] % 3];
  http.response.httpStatus = 200;
  http.response.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);

  settings::Options options;
  payment::PaymentSetup setup;
  setup.loop = &loop;
  setup.http = &http;
  setup.dataDirectory = fuzz::ScratchDir();
  static auto files = platform::FileSystem::CreateReal();
  setup.files = files.get();
  setup.options = &options;
  setup.closing = [] { return false; };
  setup.showMessage = [](const std::string&) {};
  setup.now = [] { return platform::LocalTime{2026, 12, 7, 10, 30, 15, 0}; };
  payment::PaymentRequest request(std::move(setup));

  const int16_t result = request.EseguiPaga({"PAGA,V1250,P1;", "SALE,N1,P1250;", "CARD;"});
  fuzz::Check(result == 0 || result == payment::kPosTimedOut || result == payment::kPosServiceError ||
                  result == payment::kPosRefused || result == payment::kPosNoConnection,
              "outcome " + std::to_string(result));
  if (result == 0) fuzz::Check(request.posData().TransactionResult == "00", "paid without approval");
  payment::StampaEsitoPOS(request.posData(), [](const std::string& command) -> int16_t {
    for (unsigned char c : command) fuzz::Check(c >= 0x20, "control byte in slip command: " + command);
    return 0;
  });
  return 0;
}
