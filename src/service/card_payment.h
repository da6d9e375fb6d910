// The card payment as the program runs it: the real HTTP client, the
// service address from QLPOSURL.TXT, and the two steps of a job.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "payment/payment.h"
#include "payment/slip.h"
#include "service/payment_step.h"

namespace service {

class CardPayment : public PaymentStep {
 public:
  // `send` is the link's TrasmettiStringa; `showMessage` the message box.
  // Must go before `loop` does.
  CardPayment(platform::EventLoop& loop, platform::FileSystem& files, const std::string& programDirectory,
              const std::string& dataDirectory, const settings::Options& options,
              std::function<void(const std::string&)> showMessage, payment::SendCommand send);

  int16_t Request(const std::vector<std::string>& lines) override {
    copy_ = false;
    return request_.EseguiPaga(lines);
  }
  void PrintSlip() override;
  void Closing() override { closing_ = true; }
  bool Approval(payment::POSData* data) const override;
  void UseEarlierApproval(const payment::POSData& data) override {
    copy_ = true;
    request_.UseEarlier(data);
  }
  void NoteCharged(const std::string& line) override { request_.NoteInLog(line); }

 private:
  std::unique_ptr<platform::HttpClient> http_;
  payment::PaymentRequest request_;
  payment::SendCommand send_;
  bool closing_ = false;
  bool copy_ = false;  // the slip of an earlier approval
};

}  // namespace service
