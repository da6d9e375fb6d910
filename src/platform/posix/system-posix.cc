// POSIX system queries.
#include <langinfo.h>
#include <locale.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "platform/system.h"

namespace platform {

LocalTime NowLocal() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  time_t t = tv.tv_sec;
  tm parts;
  localtime_r(&t, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
          parts.tm_min,         parts.tm_sec,     int(tv.tv_usec / 1000)};
}

char DecimalSeparator() {
  // A private locale object: the process locale stays "C" so nothing else
  // ever reinterprets our bytes.
  locale_t loc = newlocale(LC_NUMERIC_MASK, "", nullptr);
  if (!loc) return '.';
  const char* radix = nl_langinfo_l(RADIXCHAR, loc);
  char c = (radix && radix[0] && !radix[1]) ? radix[0] : '.';
  freelocale(loc);
  return c;
}

std::string ProgramDirectory() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, size_t(n));
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

char PathSeparator() { return '/'; }

}  // namespace platform
