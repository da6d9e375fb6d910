// Wiring of the card payment into the running program.
#include "service/card_payment.h"

namespace service {

CardPayment::CardPayment(platform::EventLoop& loop, platform::FileSystem& files, const std::string& programDirectory,
                         const std::string& dataDirectory, const settings::Options& options,
                         std::function<void(const std::string&)> showMessage, payment::SendCommand send)
    : http_(platform::HttpClient::Create(loop)),
      request_([&] {
        payment::PaymentSetup setup;
        setup.loop = &loop;
        setup.http = http_.get();
        setup.serviceUrl = payment::ReadServiceUrl(files, programDirectory);
        setup.dataDirectory = dataDirectory;
        setup.files = &files;
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
  payment::StampaEsitoPOS(request_.posData(), send_, copy_);
}

bool CardPayment::Approval(payment::POSData* data) const {
  const payment::POSData& d = request_.posData();
  if (d.commandWord.empty() || d.TransactionResult != "00") return false;
  *data = d;
  return true;
}

}  // namespace service
