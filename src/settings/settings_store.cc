// Load and save of the settings files, line by line as the window's
// controls expect them.
#include "settings/settings_store.h"

#include <climits>
#include <iterator>
#include <vector>

#include "language/text_value.h"
#include "platform/system.h"
#include "settings/document.h"

namespace settings {

using language::IsNumericText;
using language::LineField;
using language::RoundToInteger;
using language::TextValue;
using language::Trimmed;

const char kPortsFile[] = "QLCHKCOM.TXT";
const char kTimerFile[] = "QLTIMER1.TXT";
const char kOptionsFile[] = "QLCHKSCO.TXT";
const char kXonXoffFile[] = "QLCHKXXS.TXT";
const char kVatFile[] = "QLVALIVA.txt";

namespace {

// Folders outside the data directory where a document's READ may write its
// daily totals, one a line; read only, never written by the program.
const char kReadFoldersFile[] = "QLCARTREAD.TXT";

// What the package gives them: the program writes, the shop's users read.
constexpr unsigned kSettingsFileMode = 0644;
constexpr int kDefaultInterval = 1000;
constexpr int kMaxIntervalMs = 60000;
constexpr double kMaxIntervalSeconds = 60;
constexpr double kFirstMillisecondValue = 100;

std::string SettingsPath(const std::string& program_dir, const char* name) {
  return program_dir + platform::PathSeparator() + name;
}

std::string ErrorText(const FileError& e) {
  return e.description + " (" + std::to_string(e.number) + ", " + e.source + ")";
}

enum class ReadResult { kRead, kMissing, kFailed };

// Reads a settings file as fields. A missing file is normal; any other
// failure goes to the operator and counts as missing for the caller.
ReadResult ReadFields(platform::FileSystem& files, const std::string& path, std::vector<std::string>* fields,
                      const MessageFn& message) {
  std::vector<std::string> lines;
  FileError error;
  if (!ReadDocument(files, path, &lines, &error)) {
    if (error.number == -1) return ReadResult::kMissing;
    if (message) message("Impossibile leggere il file " + path + ": " + ErrorText(error));
    return ReadResult::kFailed;
  }
  fields->clear();
  for (const auto& line : lines) fields->emplace_back(LineField(line));
  return ReadResult::kRead;
}

bool WriteLines(platform::FileSystem& files, const std::string& path, const std::vector<std::string>& lines,
               const MessageFn& message) {
  FileError error;
  // Readable by all, written by the program alone, whatever its umask.
  if (WriteDocument(files, path, lines, false, &error, kSettingsFileMode)) return true;
  if (message) message("Impossibile scrivere il file " + path + ": " + ErrorText(error));
  return false;
}

const char* Flag(bool on) { return on ? "1" : "0"; }

bool TrimmedIsOne(const std::string& field) { return Trimmed(field) == "1"; }

// The polling interval a text stands for, and the text the field must show
// instead when the value was cut to its limit (empty: the field keeps its
// text). A value of 0 or less is not usable: 1000 ms, `usable` false.
struct TimerValue {
  bool usable = false;
  double value = 0;
  int interval = 1000;
  std::string clampedText;
};

TimerValue InterpretTimerValue(const std::string& text) {
  TimerValue t;
  t.value = TextValue(text);
  if (!(t.value > 0)) return t;
  t.usable = true;
  if (t.value >= kFirstMillisecondValue) {
    if (t.value > kMaxIntervalMs) {
      t.interval = kMaxIntervalMs;
      t.clampedText = "60000";
    } else {
      t.interval = int(RoundToInteger(t.value));
    }
    return t;
  }
  if (t.value > kMaxIntervalSeconds) {
    t.interval = kMaxIntervalMs;
    t.clampedText = "60";
    return t;
  }
  // A tiny value would round to 0, and a zero interval stops a timer.
  long long ms = RoundToInteger(t.value * 1000);
  t.interval = ms < 1 ? 1 : int(ms);
  return t;
}

void LoadPortFlags(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                   const MessageFn& message) {
  std::vector<std::string> fields;
  bool read = ReadFields(files, SettingsPath(program_dir, kPortsFile), &fields, message) ==
              ReadResult::kRead;
  const std::string line = read && !fields.empty() ? fields[0] : std::string();
  for (int i = 0; i < 4; ++i) settings->portEnabled[i] = line.size() > 3 ? line[i] == '1' : true;
}

void LoadTimer(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
               const MessageFn& message) {
  const std::string path = SettingsPath(program_dir, kTimerFile);
  std::vector<std::string> fields;
  ReadResult result = ReadFields(files, path, &fields, message);
  settings->pollInterval = kDefaultInterval;
  // An unreadable file may still hold the operator's value: leave it be.
  if (result == ReadResult::kFailed) return;
  const std::string text = fields.empty() ? std::string() : fields[0];
  TimerValue t = InterpretTimerValue(text);
  if (t.usable) {
    settings->pollInterval = t.interval;
    settings->timerText = t.clampedText.empty() ? text : t.clampedText;
  }
  WriteLines(files, path, {settings->timerText}, message);
}

void LoadOptions(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                 const MessageFn& message) {
  std::vector<std::string> f;
  if (ReadFields(files, SettingsPath(program_dir, kOptionsFile), &f, message) != ReadResult::kRead)
    return;
  Options& o = settings->options;
  const size_t n = f.size();
  // Line 1 mirrors QLCHKXXS.TXT, which is the one read.
  o.chbTrace = n >= 2 && f[1] == "1";
  o.chkDisableDisplay = n >= 3 && f[2] == "1";
  o.chkCodFisc = n >= 4 ? f[3] == "1" : true;
  bool* trimmed_flags[] = {&o.OptNonFiscal,          &o.chbPagamentiEstesi,
                           &o.chbInversioneScontiSuReso, &o.chbTend5ASCorrNonRiscosso,
                           &o.chbNoInviaApCassetto,  &o.chbFastDisplay,
                           &o.chbDelayCompatibilita, &o.chbDisabTotalizzatori,
                           &o.chkForzaIntestazioneFattura};
  for (size_t i = 0; i < std::size(trimmed_flags); ++i)
    if (n > 4 + i) *trimmed_flags[i] = TrimmedIsOne(f[4 + i]);
  if (n >= 14) o.OptionFAST = f[13] == "F";
  if (n >= 15) o.CheckLogPagamento = TrimmedIsOne(f[14]);
  if (n >= 16) o.CheckStampaLogo = TrimmedIsOne(f[15]);
}

void LoadXonXoff(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                 const MessageFn& message) {
  std::vector<std::string> fields;
  if (ReadFields(files, SettingsPath(program_dir, kXonXoffFile), &fields, message) != ReadResult::kRead)
    return;
  // An existing file without a line reads as an empty line: box cleared.
  settings->options.chbConvXonXoff = !fields.empty() && TextValue(fields[0]) > 0;
}

void LoadVatTable(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                  const MessageFn& message) {
  settings->vat = VatTable{};
  std::vector<std::string> fields;
  if (ReadFields(files, SettingsPath(program_dir, kVatFile), &fields, message) != ReadResult::kRead)
    return;
  int stored = 0;
  for (const auto& field : fields) {
    if (stored == 4) break;
    if (!IsNumericText(field)) continue;
    double value = TextValue(field);
    // A rate no integer slot can hold is as unusable as text.
    if (!(value > double(INT_MIN) - 0.5 && value < double(INT_MAX) + 0.5)) continue;
    settings->vat.slot[stored++] = int(RoundToInteger(value));
  }
}

void LoadReadFolders(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                     const MessageFn& message) {
  settings->readAllowedDirs.clear();
  std::vector<std::string> fields;
  if (ReadFields(files, SettingsPath(program_dir, kReadFoldersFile), &fields, message) != ReadResult::kRead) return;
  for (const std::string& field : fields)
    if (!field.empty()) settings->readAllowedDirs.push_back(field);
}

}  // namespace

void LoadSettings(platform::FileSystem& files, const std::string& program_dir, Settings* settings,
                  const MessageFn& message) {
  LoadPortFlags(files, program_dir, settings, message);
  LoadTimer(files, program_dir, settings, message);
  LoadOptions(files, program_dir, settings, message);
  LoadXonXoff(files, program_dir, settings, message);
  LoadVatTable(files, program_dir, settings, message);
  LoadReadFolders(files, program_dir, settings, message);
}

bool SaveSettings(platform::FileSystem& files, const std::string& program_dir, const Settings& settings,
                  const MessageFn& message) {
  const Options& o = settings.options;
  std::string ports = "0000";
  for (int i = 0; i < 4; ++i)
    if (settings.portEnabled[i]) ports[i] = '1';
  bool ok = WriteLines(files, SettingsPath(program_dir, kPortsFile), {ports}, message);
  ok = WriteLines(files, SettingsPath(program_dir, kXonXoffFile), {Flag(o.chbConvXonXoff)}, message) && ok;
  std::vector<std::string> options = {
      Flag(o.chbConvXonXoff),        Flag(o.chbTrace),
      Flag(o.chkDisableDisplay),     Flag(o.chkCodFisc),
      Flag(o.OptNonFiscal),          Flag(o.chbPagamentiEstesi),
      Flag(o.chbInversioneScontiSuReso), Flag(o.chbTend5ASCorrNonRiscosso),
      Flag(o.chbNoInviaApCassetto),  Flag(o.chbFastDisplay),
      Flag(o.chbDelayCompatibilita), Flag(o.chbDisabTotalizzatori),
      Flag(o.chkForzaIntestazioneFattura), o.OptionFAST ? "F" : "S",
      Flag(o.CheckLogPagamento),     Flag(o.CheckStampaLogo)};
  ok = WriteLines(files, SettingsPath(program_dir, kOptionsFile), options, message) && ok;
  std::vector<std::string> vat;
  for (int i = 0; i < 5; ++i) vat.push_back(std::to_string(settings.vat.slot[i]));
  ok = WriteLines(files, SettingsPath(program_dir, kVatFile), vat, message) && ok;
  return ok;
}

TimerChange SetTimer(platform::FileSystem& files, const std::string& program_dir, const std::string& typed_text,
                     bool connection_in_progress, Settings* settings,
                     const MessageFn& message) {
  TimerChange change;
  if (connection_in_progress) {
    if (message) message("Connessione in corso, valore non accettato");
    return change;
  }
  change.accepted = true;
  TimerValue t = InterpretTimerValue(typed_text);
  settings->timerText = typed_text;
  if (!t.usable) {
    if (t.value == 0) {
      change.invalidValue = true;
      if (message) message("Valore non ammesso");
    }
    settings->pollInterval = kDefaultInterval;
    return change;
  }
  settings->pollInterval = t.interval;
  // Only the seconds limit shows in the field; the file keeps what was typed.
  if (t.clampedText == "60") settings->timerText = t.clampedText;
  change.fileText = typed_text;
  change.fileWritten = WriteLines(files, SettingsPath(program_dir, kTimerFile), {typed_text}, message);
  return change;
}

}  // namespace settings
