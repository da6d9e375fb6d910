// Single printer registers (date and time, grand total, closing count) and
// the receipt data lines the host finds in SR_OUT after a document.
#pragma once

#include <string>

#include "ecr/link.h"

namespace ecr {

// The program's own version, as printed in the "Versione" line.
struct ProgramVersion {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// "REDT,DddmmYY,THHMM;" or "" on any failure. Leaves the port open or
// closed as it found it.
std::string ReadDataOra(EcrLink& link);
// `dateTime` is DDMMYYHHMM. True when the printer accepted it.
bool WriteDataOra(EcrLink& link, const std::string& dateTime);
// "GRTO,V" + ten characters + ";" or "".
std::string ReadGranTotale(EcrLink& link);
// The four count characters or "".
std::string ReadNumeroAzzeramenti(EcrLink& link);

struct HeaderContext {
  bool rtMode = false;
  ProgramVersion version;
  // The line a "REDT" pseudo-command stored; written and cleared here.
  std::string* storedRedtLine = nullptr;
  // Gets the receipt counter the printer tells, when it tells one.
  int* receiptCounter = nullptr;
};

// The receipt number of a "1004" answer, -1 when it has none.
int ReceiptCounterOf(const std::string& answer);

// Writes the receipt data lines into `out` (one call per line). False only
// when the date and time could not be read.
bool WriteHeaderLines(EcrLink& link, const LineSink& out, const HeaderContext& ctx);

// How many failed exchanges WriteDataOra tolerates before it gives up.
inline constexpr int kWriteDataOraFailedExchanges = 3;

}  // namespace ecr
