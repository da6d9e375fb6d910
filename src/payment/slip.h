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

// The line under the title of a slip printed again for an approval obtained
// before: the card is not charged a second time.
inline constexpr char kSlipCopyLine[] = "*** COPIA: GIA' ADDEBITATO ***";

// Prints the slip for the last payment request; nothing when no payment
// was asked. `copy`: the approval is an earlier one, marked so. Always 0.
int16_t StampaEsitoPOS(const POSData& data, const SendCommand& trasmetti, bool copy = false);

// The text line command: "40031", the length in plain digits, the text.
std::string SlipLine(const std::string& text);
// Cents as units with two decimals, right-aligned in 15 characters.
std::string SlipAmount(const std::string& cents);

}  // namespace payment
