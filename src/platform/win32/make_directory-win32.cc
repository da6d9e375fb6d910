// Directory creation with the ANSI CreateDirectory, so the name's bytes stay
// in the system code page.
#include <windows.h>

#include "platform/make_directory.h"

namespace platform {

bool MakeDirectory(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
