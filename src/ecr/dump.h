// The configuration dump that identifies the printer on a port, and the
// daily-totals file of the "READ" pseudo-command.
#pragma once

#include <cstdint>
#include <string>

#include "ecr/link.h"
#include "platform/file_system.h"

namespace ecr {

// What the dumps have found out about the printer. The tax-code kind and the
// release keep their values until a later dump changes them.
struct PrinterIdentity {
  std::string identification;  // the identification answer of the last dump
  std::string serialField;     // the window's serial field, SR_MATR's first line
  std::string status;          // SR_MATR's second line: "MF", "Status: RT" or "Status: MF"
  std::string printerSerial;   // the serial the converter writes
  bool rtMode = false;
  int16_t taxCodeKind = 0;     // the model digit
  std::string firmwareVersion;
};

// Runs the dump on the port the caller opened, writes "tracedump.txt" into
// `dataDir` and updates `printer`; a successful dump also reads the
// identification (ReadIdentification). Returns the result: 0 success.
int16_t Vexocx21_DoDumpConf(EcrLink& link, platform::FileSystem& fs, const std::string& dataDir,
                            PrinterIdentity& printer);

// Serial field, status, printer serial and RT mode from an identification
// answer: eight characters are an MF printer's serial number; otherwise
// character 26 other than "0" marks an RT printer.
void ReadIdentification(const std::string& answer, PrinterIdentity* printer);

// The release in a "1013" answer, "" when there is none or it is ambiguous.
std::string FirmwareFromAnswer(const std::string& answer);

// SR_ERR message of a failed dump.
std::string DumpFailureMessage(int16_t result);
// The window's dump field after a failed dump: "-8 : DUMP NON ESEGUITO".
std::string DumpFailureField(int16_t result);
inline constexpr const char* kDumpDone = "DUMP ESEGUITO";

// Writes the daily totals into the file `name` below `folder` (replaced,
// never through a link: a host may write there), amounts with
// `decimalSeparator`. True when the closing-count exchange failed;
// `*written` tells whether the file was written.
bool ScriviTotaliGiornalieri(EcrLink& link, platform::FileSystem& fs, const std::string& folder,
                             const std::string& name, char decimalSeparator, bool* written = nullptr,
                             int* receiptCounter = nullptr);

}  // namespace ecr
