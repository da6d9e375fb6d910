// What a conversion learns of a receipt that its transmission needs at the
// end: found by the converter, carried by the job, read by the printer link.
#pragma once

#include <string>

namespace language {

struct ReceiptFacts {
  bool paymentSeen = false;  // a paid receipt: drawer and "3013" at the end
  bool invoiceMode = false;
  bool functionDocument = false;
  // Payment summary lines after the payment.
  bool cashDue = false, chequeDue = false, cardDue = false, otherDue = false;
  std::string paymentText;
};

}  // namespace language
