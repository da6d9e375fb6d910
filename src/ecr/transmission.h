// Document transmission: the converted document sent to the printer line by
// line, with the pseudo-commands, the receipt stamp, the payment summary,
// the change and the end of the document.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "convert/converter.h"
#include "ecr/link.h"
#include "ecr/registers.h"

namespace ecr {

struct TransmissionContext {
  // What the converter needs; its options are also the transmission's.
  convert::ConvertContext convert;
  convert::ConversionShared* shared = nullptr;
  // The port's SR_OUT, replaced by every document.
  std::string outPath;
  // The document is already native commands: no conversion.
  bool sendAsIs = false;
  ProgramVersion version;
  // Writes a message into the port's SR_ERR (the paper-end notice).
  std::function<void(const std::string&)> writeErrFile;
  // Message boxes ("ERRORE3 = ...").
  std::function<void(const std::string&)> message;
};

// Converts and sends one document; returns the document status (0 to 13,
// 29 or 99) and, with 99, the printer's description of the error.
int16_t DoSendFile(EcrLink& link, const std::string& documentPath, TransmissionContext& ctx,
                   std::string* errorDetail);

// The 40 characters after "7007": the name in 20 characters, then blanks,
// the character 127, a blank and the amount, together 20 characters.
std::string PaymentLine(const std::string& name, const std::string& amountText);

// A "MOST" (surcharge) or "DOST" (discount) line on the subtotal: 0, or -1
// when the percentage is not a number or an exchange failed.
int16_t SubtotalAdjustment(EcrLink& link, const std::string& line);

}  // namespace ecr
