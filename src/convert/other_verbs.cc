// The lines that are neither items nor payments: text and trailer lines, the
// customer display, drawer, non-fiscal documents, references to earlier
// receipts, cash movements, reports, barcodes and read requests.
#include "convert/state.h"

namespace convert {

bool ConvertOpen(LineContext&) { return false; }
bool ConvertReference(LineContext&) { return false; }
void ConvertCashMovementsAndNonFiscal(LineContext&) {}
void ConvertTextLines(LineContext&) {}
bool ConvertDisplay(LineContext&) { return false; }
void ConvertFunctions(LineContext&) {}
void ConvertCodes(LineContext&) {}
void ConvertRead(LineContext&) {}

}  // namespace convert
