// The operator's settings: the five files of the program directory that keep
// the port selection, the polling interval, the options and the VAT table.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "settings/message.h"
#include "settings/options.h"

namespace settings {

// File names, exactly as they have always been spelt.
extern const char kPortsFile[];    // QLCHKCOM.TXT
extern const char kTimerFile[];    // QLTIMER1.TXT
extern const char kOptionsFile[];  // QLCHKSCO.TXT
extern const char kXonXoffFile[];  // QLCHKXXS.TXT
extern const char kVatFile[];      // QLVALIVA.txt

// What the main window holds between load and save. The initializers are
// the window's initial state.
struct Settings {
  bool portEnabled[4] = {true, true, true, true};  // Check1 to Check4
  Options options;
  VatTable vat;
  int pollInterval = 1000;    // Timer21's interval in ms
  std::string timerText = "1";  // txtTimerVal
  std::vector<std::string> readAllowedDirs;
};

// Reads the five files in their start-up order into `settings`, rewriting
// QLTIMER1.TXT at once. Missing files and lines leave the stated defaults;
// a file that exists but cannot be read is reported through `message` and
// treated as missing.
void LoadSettings(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                  const MessageFn& message);

// Writes QLCHKCOM.TXT, QLCHKXXS.TXT, QLCHKSCO.TXT and QLVALIVA.txt in this
// order. A file that cannot be written is reported and the others are
// still written; false when any failed.
bool SaveSettings(platform::FileSystem& files, const std::string& program_dir, const Settings& settings,
                  const MessageFn& message);

// The "Set timer" button. The caller stops Timer21 before and gives it back
// its former state with the new interval after.
struct TimerChange {
  bool accepted = false;     // false: refused, nothing changed
  bool invalidValue = false; // "Valore non ammesso" was shown
  bool fileWritten = false;
  std::string fileText;      // what QLTIMER1.TXT now holds, when written
};
TimerChange SetTimer(platform::FileSystem& files, const std::string& program_dir, const std::string& typed_text,
                     bool connection_in_progress, Settings* settings,
                     const MessageFn& message);

}  // namespace settings
