// Kept copies of interrupted documents, trace files, payment logs and
// program logs do not pile up for ever: those older than a limit go at
// start-up. Their age is the date in their name.
#pragma once

#include <string>

#include "platform/file_system.h"
#include "platform/system.h"

namespace service {

// The date a kept record's name carries (YYYYMMDD), or 0 when the name is
// not one of them: "SR_DATI.00n.interrupted-YYYYMMDD-...", "TRACE_YYYYMMDD_hhmmss.TXT",
// "POSDATA-YYYYMMDDhhmmss-...", "Quilo1-YYYYMMDD.log" (the window's daily logs).
long RecordDate(const std::string& name);

// Removes the records older than `days` in the data directory and in its
// "TRACE_YYYYMM" and "LOG-PAGAME-YYYYMM" folders; returns how many went.
int PruneOldRecords(platform::FileSystem& fs, const std::string& dataDir, char separator,
                    const platform::LocalTime& today, int days);

}  // namespace service
