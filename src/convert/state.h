// State kept by the converter across the lines of one document, and the
// context each verb group works in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "convert/converter.h"
#include "language/language.h"

namespace convert {

using language::FindField;
using language::HasVerb;
using language::IsTenderSynonym;

// Reset at the start of every conversion.
struct ConversionState {
  language::ReceiptFacts facts;
  bool itemsSold = false;
  bool invoiceTotalPending = false;
  bool invoiceHeader = false;
  std::string invoiceAmount = "000000000";
  bool referencedDocument = false;
  bool cashOnly = false;
  bool lastWasReturn = false;
  std::string lastDepartment;  // 2 digits
  std::string lastAmount;      // cents
  bool zKey = false;
  std::string pendingTaxCode;
  std::vector<std::string> trailerLines;
  bool reprintRequested = false;
  // The 22-character description of the last item or adjustment; it keeps
  // its content from one line to the next.
  std::string description = std::string(22, ' ');
  // OPFS seen: PRNT lines carry invoice texts.
  bool invoiceTextMode = false;
  // The invoice total the OPFS adapter computed (cents).
  long long adapterInvoiceTotal = 0;
};

// Reset before each line.
struct LineState {
  bool returnMarked = false;
  bool voidMarked = false;
  int voidKind = 0;
  std::string command;  // the command being built
  std::string display;  // the display command being built
};

// One line being converted. A verb group reads `line`, updates the states,
// appends to `out` at once where the command must come before the line's own
// commands, and sets `ls.command` / `ls.display` for the end of the line.
struct LineContext {
  const std::string& line;  // normalised
  ConversionState& st;
  LineState& ls;
  std::vector<std::string>& out;
  const ConvertContext& ctx;
  // Set by a reference error: the conversion ends at once with result 1 and
  // writes no output file.
  bool abort = false;
  // The document's next line as read (not normalised), null after the last;
  // DISP and the tax code rule look at it.
  const std::string* nextLine = nullptr;
  // Set when the next line was taken up by this one and must be skipped.
  bool consumeNext = false;
  // The line's verb, read once.
  language::VerbHead verb{line};
  // What follows the line's commas (language::CommaFollowers).
  uint64_t followers = language::CommaFollowers(line);

  // The field `marker` of the line (FindField), `value` emptied first.
  bool Field(const char* marker, std::string* value) const {
    if (value) value->clear();
    return language::MayHoldField(followers, marker) && FindField(false, value, line, marker);
  }
  bool HasField(const char* marker) const { return Field(marker, nullptr); }
};

// Verb groups. Each returns true when the line ends there (later tests are
// skipped).
bool ConvertOpen(LineContext& c);                     // OPEN
bool ConvertReference(LineContext& c);                // NDCR, DELD
void ConvertCashMovementsAndNonFiscal(LineContext& c); // DEPO, PREL, OPNF, CLNF
void ConvertTextLines(LineContext& c);                 // PRNT, EXTL, CLER
bool ConvertDisplay(LineContext& c);                   // DISP
void ConvertFunctions(LineContext& c);                 // ZKEY, XKEY, FUNC
void ConvertCodes(LineContext& c);                     // QRCO, BARC
void ConvertRead(LineContext& c);                      // READ

// Items and adjustments.
void ConvertVoidMarker(LineContext& c);    // ,S1 ,S3 ,S2 ,S
void ConvertSubtotal(LineContext& c);      // SUBT
void ConvertReturnMarker(LineContext& c);  // ,R
void ConvertItem(LineContext& c);          // SALE, PLUD
void ConvertItemPercent(LineContext& c, bool surcharge);  // DISC, MAGG
void ConvertSubtotalPercent(LineContext& c, bool surcharge);  // DOST, MOST
void ConvertItemValue(LineContext& c, bool surcharge);    // COUP, ADDI
void ConvertSubtotalValue(LineContext& c, bool surcharge);    // COST, ADDS

// An amount field in cents; false (the document refused) when nine digits
// cannot hold it.
bool Amount(LineContext& c, const std::string& text, double* cents);

// A text behind a two-digit length prefix: a longer one has no valid
// command and refuses the document.
inline bool TooLong(LineContext& c, const std::string& text) {
  const bool tooLong = text.size() > 99;
  if (tooLong) c.abort = true;
  return tooLong;
}

// A number as two digits (a department, a count); false when it needs more.
bool TwoDigits(const std::string& number, std::string* out);

// Payments, tax code, lottery code and invoices.
void ConvertPayments(LineContext& c);  // CASH CHEQ CRED CARD BANC TEND TICK
void ConvertLottery(LineContext& c);   // LOTT
void ConvertInvoice(LineContext& c);   // OPFS, CLFS

// The blank customer line written around a customer tax code.
inline constexpr char kBlankCustomerLine[] = "3010105     ";

// Writes a held-back customer tax code between two blank customer lines
// (when the option allows it) and empties it.
void FlushTaxCode(LineContext& c);

// The closing of a paid receipt: "3011", the logo, the trailer lines (then
// emptied) and the drawer, as the options say.
void AppendPaidClosing(ConversionState& st, const settings::Options& options, std::vector<std::string>& out);

// The customer tax code rule of a PRNT line whose text is `text`: may hold
// the text back in `pendingTaxCode` (looking at c.nextLine). Returns true
// when the PRNT line must write nothing.
bool ApplyTaxCodeRule(LineContext& c, const std::string& text);

}  // namespace convert
