// Wiring of the card payment into the running program.
#include "payment/card_payment.h"

#include "settings/document.h"

namespace payment {

CardPayment::CardPayment(platform::EventLoop& loop, platform::FileSystem& files, const std::string& programDirectory,
                         const std::string& dataDirectory, const settings::Options& options,
                         std::function<void(const std::string&)> showMessage, SendCommand send)
    : files_(files),
      showMessage_(showMessage),
      http_(platform::HttpClient::Create(loop)),
      request_([&] {
        PaymentSetup setup;
        setup.loop = &loop;
        setup.http = http_.get();
        setup.serviceUrl = ReadServiceUrl(files, programDirectory);
        setup.dataDirectory = dataDirectory;
        setup.files = &files;
        setup.options = &options;
        // The wait for the service ends as timed out once the program closes.
        setup.closing = [this] { return closing_; };
        setup.showMessage = std::move(showMessage);
        return setup;
      }()),
      send_(std::move(send)) {}

int16_t CardPayment::Request(const std::string& dataPath) {
  // Read here until the job hands over the lines it read itself.
  std::vector<std::string> lines;
  settings::FileError error;
  if (!settings::ReadDocument(files_, dataPath, &lines, &error)) {
    if (showMessage_)
      showMessage_("ERRORE-CHIAMATA-POS = " + error.description + " - " + std::to_string(error.number) + " - 1.");
    return 0;
  }
  return request_.EseguiPaga(lines);
}

void CardPayment::PrintSlip() {
  // While the program closes every wait of the link ends at once and each
  // command would go out again and again: no slip then.
  if (closing_) return;
  StampaEsitoPOS(request_.posData(), send_);
}

}  // namespace payment
