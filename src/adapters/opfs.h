// OPFS invoices turned into a receipt with a VAT summary.
#pragma once

#include <string>
#include <vector>

#include "settings/date_time.h"
#include "settings/options.h"

namespace adapters {

// Rewrites the OPFS document `lines` as command lines in `out` (replaced
// whole) and sets `invoiceTotal` (cents: the OPFS line's ",V" when numeric
// and not zero, else the running total). Print width 32, with payment
// lines, invoice number and date line; the date is `now`. A "CARD" line
// counts as the card payment. Returns false when a VAT rate is not in
// `vat` (slots 0 to 4); `out` then holds the lines made so far and the total
// is left as it was. Bad numbers take their defaults and are reported as
// lines appended to `traceLines` (null: not reported).
bool ConvertFatturaSuScontrino(const std::vector<std::string>& lines, const settings::VatTable& vat,
                               const settings::DateTime& now, long long* invoiceTotal,
                               std::vector<std::string>* out, std::vector<std::string>* traceLines);

}  // namespace adapters
