// The card payment as the job service calls it: the request before the
// document and the slip after it.
#pragma once

#include "payment/payment.h"
#include "payment/slip.h"
#include "service/payment_hooks.h"

namespace payment {

// The hooks of a job, once SetupPayment has run; `trasmetti` is the link's
// TrasmettiStringa.
inline service::PaymentHooks CardPaymentHooks(SendCommand trasmetti) {
  service::PaymentHooks hooks;
  hooks.preStep = [](const std::string& dataPath) { return EseguiPaga(dataPath); };
  hooks.slip = [trasmetti = std::move(trasmetti)] { StampaEsitoPOS(trasmetti); };
  return hooks;
}

}  // namespace payment
