// The configuration dump that identifies the printer on a port, and the
// daily-totals file of the "READ" pseudo-command.
#pragma once

#include <cstdint>
#include <string>

#include "ecr/link.h"

namespace ecr {

// Implemented by the job service: it writes SR_MATR or SR_ERR and updates
// the window.
class DumpListener {
 public:
  virtual ~DumpListener() = default;
  virtual void Vexocx21_EvDumpConfDone(const std::string& identification, int16_t result) = 0;
};

// Runs the dump on the port the caller opened, writes "tracedump.txt" into
// `dataDir`, fills `printer.taxCodeKind` and `printer.firmwareVersion` and
// ends by calling the listener. Returns the result it reported.
int16_t Vexocx21_DoDumpConf(EcrLink& link, const std::string& dataDir, PrinterInfo& printer,
                            DumpListener& listener);

// The release in a "1013" answer, "" when there is none or it is ambiguous.
std::string FirmwareFromAnswer(const std::string& answer);

// SR_ERR message of a failed dump.
std::string DumpFailureMessage(int16_t result);
// The window's dump field after a failed dump: "-8 : DUMP NON ESEGUITO".
std::string DumpFailureField(int16_t result);
inline constexpr const char* kDumpDone = "DUMP ESEGUITO";

// Writes the daily totals into the file at `path` (replaced), amounts with
// `decimalSeparator`. True when the closing-count exchange failed.
bool ScriviTotaliGiornalieri(EcrLink& link, const std::string& path, char decimalSeparator);
// The same with the separator of the user's number settings.
inline bool ScriviTotaliGiornalieri(EcrLink& link, const std::string& path) {
  return ScriviTotaliGiornalieri(link, path, platform::DecimalSeparator());
}

}  // namespace ecr
