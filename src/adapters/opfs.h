// OPFS invoices turned into a receipt with a VAT summary.
#pragma once

#include <string>

#include "convert/converter.h"

namespace adapters {

// Reads the OPFS document copy `inputPath`, writes command lines to
// `outputPath` (the document itself) and sets `invoiceTotal` (cents).
// Returns false on failure (for example a VAT rate not in the table).
bool ConvertFatturaSuScontrino(const std::string& inputPath, const std::string& outputPath,
                               const convert::ConvertContext& ctx, long long* invoiceTotal);

}  // namespace adapters
