// The payment slip: a non-fiscal document with the outcome of the card
// payment, printed after the job.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "payment/payment.h"

namespace payment {

// Sends one native command to the printer; the slip ignores its result.
using SendCommand = std::function<int16_t(const std::string& command)>;

// Prints the slip for the last payment request; nothing when no payment
// was asked. Always 0.
int16_t StampaEsitoPOS(const POSData& data, const SendCommand& trasmetti);

// The text line command: "40031", the length in plain digits, the text.
std::string SlipLine(const std::string& text);
// Cents as units with two decimals, right-aligned in 15 characters.
std::string SlipAmount(const std::string& cents);

}  // namespace payment
