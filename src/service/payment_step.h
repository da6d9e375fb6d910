// The two points where a job hands over to the card payment: the request
// before the document and the slip after it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payment/payment.h"

namespace service {

class PaymentStep {
 public:
  virtual ~PaymentStep() = default;
  // Looks at the document's first line before the document is sent
  // (`EseguiPaga`). Returns 0 when no payment was asked or it was approved,
  // otherwise the job outcome of the refused or failed payment (-200 to -203).
  virtual int16_t Request(const std::vector<std::string>& lines) = 0;
  // Prints the payment slip (`StampaEsitoPOS`) after a successful document or
  // a refused payment; prints nothing when the document asked for no payment.
  // Its result never changes the job outcome.
  virtual void PrintSlip() = 0;
  // The program is closing: a wait for the service ends as timed out and no
  // slip is printed any more.
  virtual void Closing() = 0;
  // After a Request that returned 0: the payment approved, false when the
  // document asked for none.
  virtual bool Approval(payment::POSData* data) const { return false; }
  // In place of Request: the document's payment was approved before; the
  // terminal is not asked, and PrintSlip marks the slip as a copy.
  virtual void UseEarlierApproval(const payment::POSData& data) {}
  // The card was charged and the receipt failed: one line in the payment log.
  virtual void NoteCharged(const std::string& line) {}
};

}  // namespace service
