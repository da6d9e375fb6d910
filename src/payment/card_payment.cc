// Wiring of the card payment into the running program.
#include "payment/card_payment.h"

namespace payment {

CardPayment::CardPayment(platform::EventLoop& loop, const std::string& programDirectory,
                         const std::string& dataDirectory, const settings::Options& options,
                         std::function<void(const std::string&)> showMessage, SendCommand send)
    : http_(platform::HttpClient::Create(loop)),
      request_([&] {
        PaymentSetup setup;
        setup.loop = &loop;
        setup.http = http_.get();
        setup.serviceUrl = ReadServiceUrl(programDirectory);
        setup.dataDirectory = dataDirectory;
        setup.options = &options;
        // The wait for the service ends as timed out once the program closes.
        setup.closing = [this] { return closing_; };
        setup.showMessage = std::move(showMessage);
        return setup;
      }()),
      send_(std::move(send)) {}

void CardPayment::PrintSlip() {
  // While the program closes every wait of the link ends at once and each
  // command would go out again and again: no slip then.
  if (closing_) return;
  StampaEsitoPOS(request_.posData(), send_);
}

}  // namespace payment
