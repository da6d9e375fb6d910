// The virtual printer runs only on POSIX; on Win32 no child is started.
#include "platform/child_process.h"

namespace platform {

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>&, const std::string&,
                                                  std::string* error) {
  if (error) *error = "not available on this system";
  return nullptr;
}

}  // namespace platform
