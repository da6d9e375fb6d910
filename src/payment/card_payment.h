// The card payment as the program starts it: the real HTTP client, the
// service address from QLPOSURL.TXT, and the two hooks of a job.
#pragma once

#include <functional>
#include <string>

#include "payment/payment.h"
#include "payment/slip.h"
#include "service/payment_hooks.h"

namespace payment {

// Sets the module up for the running program and returns the job's hooks:
// the request before the document and the slip after it. `closing` tells
// when the program is closing: the wait for the service then ends as timed
// out, and no slip is printed. `trasmetti` is the link's TrasmettiStringa. The hooks must go
// before `loop` does.
service::PaymentHooks StartCardPayment(platform::EventLoop& loop, const std::string& programDirectory,
                                       const std::string& dataDirectory, const settings::Options& options,
                                       std::function<bool()> closing,
                                       std::function<void(const std::string&)> showMessage, SendCommand trasmetti);

}  // namespace payment
