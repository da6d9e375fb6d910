// POSIX: no Windows version and no shared application-data folder, so the
// data directory stays the program directory unless the environment moves it.
#include <sys/stat.h>

#include "platform/folders.h"

namespace platform {

bool IsNtVersion6() { return false; }

bool CommonAppDataFolder(std::string* path) {
  path->clear();
  return true;
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
