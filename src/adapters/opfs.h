// OPFS invoices turned into a receipt with a VAT summary.
#pragma once

#include <string>

#include "convert/converter.h"

namespace adapters {

// Reads the OPFS document copy `inputPath`, writes command lines to
// `outputPath` (the document itself, replaced whole) and sets
// `invoiceTotal` (cents: the OPFS line's ",V" when numeric and not zero,
// else the running total). Print width 32, with payment lines, invoice
// number and date line; the date comes from ctx.now. A "CARD" line counts
// as the card payment. Returns false when a VAT rate is not in ctx.vat (slots 0 to 4;
// the output then holds the lines written so far), when the input cannot
// be read (the document is then left as it was) or the output written.
// Bad numbers take their defaults and are reported through ctx.trace.
bool ConvertFatturaSuScontrino(const std::string& inputPath, const std::string& outputPath,
                               const convert::ConvertContext& ctx, long long* invoiceTotal);

}  // namespace adapters
