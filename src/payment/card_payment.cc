// Wiring of the card payment into the running program.
#include "payment/card_payment.h"

#include <memory>

namespace payment {

service::PaymentHooks StartCardPayment(platform::EventLoop& loop, const std::string& programDirectory,
                                       const std::string& dataDirectory, const settings::Options& options,
                                       std::function<bool()> closing,
                                       std::function<void(const std::string&)> showMessage, SendCommand trasmetti) {
  // The hooks own the client, so it goes before the loop it is registered on.
  std::shared_ptr<platform::HttpClient> http = platform::HttpClient::Create(loop);
  PaymentSetup setup;
  setup.loop = &loop;
  setup.http = http.get();
  setup.serviceUrl = ReadServiceUrl(programDirectory);
  setup.dataDirectory = dataDirectory;
  setup.options = &options;
  setup.closing = closing;
  setup.showMessage = std::move(showMessage);
  SetupPayment(std::move(setup));

  service::PaymentHooks hooks;
  hooks.preStep = [http](const std::string& dataPath) {
    (void)http;
    return EseguiPaga(dataPath);
  };
  // While the program closes every wait of the link ends at once and each
  // command would go out again and again: no slip then.
  hooks.slip = [closing = std::move(closing), trasmetti = std::move(trasmetti)] {
    if (closing && closing()) return;
    StampaEsitoPOS(trasmetti);
  };
  return hooks;
}

}  // namespace payment
