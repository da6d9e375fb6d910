// The two points where a job hands over to the card payment: the request
// before the document and the slip after it. Empty hooks mean no payment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace service {

struct PaymentHooks {
  // Looks at the first line of the data file before the document is sent
  // (`EseguiPaga`). Returns 0 when no payment was asked or it was approved,
  // otherwise the job outcome of the refused or failed payment (-200 to -203).
  std::function<int16_t(const std::string& dataPath)> preStep;
  // Prints the payment slip (`StampaEsitoPOS`) after a successful document or
  // a refused payment; prints nothing when the document asked for no payment.
  // Its result never changes the job outcome.
  std::function<void()> slip;
};

}  // namespace service
