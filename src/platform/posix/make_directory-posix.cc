// Directory creation with mkdir(2).
#include <sys/stat.h>

#include "platform/make_directory.h"

namespace platform {

bool MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
