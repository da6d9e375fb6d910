// Start-up removal of old kept records, by the date in their names.
#include "service/pruning.h"

#include <cstdlib>
#include <vector>

#include "settings/date_time.h"

namespace service {

namespace {

bool Digits(const std::string& s, size_t pos, size_t n) {
  if (pos + n > s.size()) return false;
  for (size_t i = pos; i < pos + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

long DaysOf(long yyyymmdd) { return settings::DaysFromCivil(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

long RecordDate(const std::string& name) {
  size_t at = std::string::npos;
  const size_t mark = name.find(".interrupted-");
  if (StartsWith(name, "SR_DATI.") && mark != std::string::npos) {
    at = mark + 13;
  } else if (StartsWith(name, "TRACE_") && name.size() > 6 + 8 && name[14] == '_') {
    at = 6;
  } else if (StartsWith(name, "POSDATA-")) {
    at = 8;
  } else if (StartsWith(name, "Quilo1-") && name.size() == 7 + 8 + 4 && name.compare(15, 4, ".log") == 0) {
    at = 7;
  }
  if (at == std::string::npos || !Digits(name, at, 8)) return 0;
  const long date = std::atol(name.substr(at, 8).c_str());
  const long month = date / 100 % 100, day = date % 100;
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 ? date : 0;
}

int PruneOldRecords(platform::FileSystem& fs, const std::string& dataDir, char separator,
                    const platform::LocalTime& today, int days) {
  const long now = settings::DaysFromCivil(today.year, today.month, today.day);
  int removed = 0;
  // Names below the data directory: a host may swap a folder for a link
  // meanwhile, and the removal must not follow it.
  std::vector<std::string> folders = {""};
  std::vector<std::string> names;
  if (fs.ListDirectory(dataDir, &names))
    for (const std::string& name : names)
      if ((StartsWith(name, "TRACE_") || StartsWith(name, "LOG-PAGAME-")) &&
          fs.Kind(dataDir + separator + name) == platform::FileKind::kDirectory)
        folders.push_back(name + separator);
  for (const std::string& folder : folders) {
    if (!fs.ListDirectory(folder.empty() ? dataDir : dataDir + separator + folder.substr(0, folder.size() - 1), &names))
      continue;
    for (const std::string& name : names) {
      const long date = RecordDate(name);
      const std::string path = dataDir + separator + folder + name;
      if (date == 0 || now - DaysOf(date) <= days || fs.Kind(path) != platform::FileKind::kRegular) continue;
      removed += fs.RemoveBeneath(dataDir, folder + name) ? 1 : 0;
    }
  }
  return removed;
}

}  // namespace service
