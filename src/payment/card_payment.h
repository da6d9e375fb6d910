// The card payment as the program runs it: the real HTTP client, the
// service address from QLPOSURL.TXT, and the two steps of a job.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "payment/payment.h"
#include "payment/slip.h"
#include "service/payment_step.h"

namespace payment {

class CardPayment : public service::PaymentStep {
 public:
  // `send` is the link's TrasmettiStringa; `showMessage` the message box.
  // Must go before `loop` does.
  CardPayment(platform::EventLoop& loop, platform::FileSystem& files, const std::string& programDirectory,
              const std::string& dataDirectory, const settings::Options& options,
              std::function<void(const std::string&)> showMessage, SendCommand send);

  int16_t Request(const std::string& dataPath) override;
  void PrintSlip() override;
  void Closing() override { closing_ = true; }

 private:
  platform::FileSystem& files_;
  std::function<void(const std::string&)> showMessage_;
  std::unique_ptr<platform::HttpClient> http_;
  PaymentRequest request_;
  SendCommand send_;
  bool closing_ = false;
};

}  // namespace payment
