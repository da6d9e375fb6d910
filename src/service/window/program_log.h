// Quilo1.exe's log: the daemon's time-stamped status lines, kept in a daily
// file Quilo1-YYYYMMDD.log of the data directory for thirty days.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace service::window {

class ProgramLog {
 public:
  ProgramLog();
  ~ProgramLog();
  // One line, from any thread: to standard error at once, to the file once
  // the data directory is known.
  void Write(const std::string& line);
  // The lines so far go into the file; logs older than thirty days are removed.
  void SetDirectory(const std::string& dataDir);

 private:
  void Append(const std::string& line);

  SRWLOCK lock_ = SRWLOCK_INIT;
  std::string dir_;
  std::vector<std::string> early_;  // before the directory is known
};

// "Quilo1-20261207.log" is older than thirty days on `today` (YYYYMMDD).
bool ExpiredLogName(const std::string& name, int today);

}  // namespace service::window
