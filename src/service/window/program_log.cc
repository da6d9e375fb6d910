// Quilo1.exe's daily log file.
#include "service/window/program_log.h"

#include <cstdio>
#include <cstdlib>

#include "service/window/dialogs.h"

namespace service::window {
namespace {

const int kKeptDays = 30;

// Days since 1970-01-01 of a civil date.
long DaysOf(int y, int m, int d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

long DaysOf(int yyyymmdd) { return DaysOf(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

int Today() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return t.wYear * 10000 + t.wMonth * 100 + t.wDay;
}

std::string FileName(int day) { return "Quilo1-" + std::to_string(day) + ".log"; }

}  // namespace

bool ExpiredLogName(const std::string& name, int today) {
  if (name.size() != 19 || name.compare(0, 7, "Quilo1-") != 0 || name.compare(15, 4, ".log") != 0) return false;
  int day = 0;
  for (size_t i = 7; i < 15; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
    day = day * 10 + (name[i] - '0');
  }
  return DaysOf(today) - DaysOf(day) >= kKeptDays;
}

ProgramLog::ProgramLog() = default;
ProgramLog::~ProgramLog() = default;

void ProgramLog::Write(const std::string& line) {
  std::string l = line + "\n";
  OutputDebugStringA(l.c_str());
  std::fwrite(l.data(), 1, l.size(), stderr);
  std::fflush(stderr);
  AcquireSRWLockExclusive(&lock_);
  if (dir_.empty()) {
    early_.push_back(line);
  } else {
    Append(line);
  }
  ReleaseSRWLockExclusive(&lock_);
}

void ProgramLog::SetDirectory(const std::string& dataDir) {
  AcquireSRWLockExclusive(&lock_);
  dir_ = dataDir;
  const int today = Today();
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(Widen(dir_ + "\\Quilo1-*.log").c_str(), &found);
  for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &found)) {
    std::string name = Narrow(found.cFileName);
    if (ExpiredLogName(name, today)) DeleteFileW(Widen(dir_ + "\\" + name).c_str());
  }
  if (h != INVALID_HANDLE_VALUE) FindClose(h);
  for (const std::string& line : early_) Append(line);
  early_.clear();
  ReleaseSRWLockExclusive(&lock_);
}

// Opened for each line, so that the day's file changes at midnight and the
// operator may open or move the file meanwhile.
void ProgramLog::Append(const std::string& line) {
  std::wstring path = Widen(dir_ + "\\" + FileName(Today()));
  HANDLE f = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  std::string bytes = line + "\r\n";
  DWORD written = 0;
  WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(f);
}

}  // namespace service::window
