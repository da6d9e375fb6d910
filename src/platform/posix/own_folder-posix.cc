// The program's own folder on POSIX: the program directory, whose owner and
// rights the package sets.
#include "platform/own_folder.h"

namespace platform {

bool OwnDataFolder(const std::string& programDirectory, std::string* folder, std::string*) {
  *folder = programDirectory;
  return true;
}

}  // namespace platform
