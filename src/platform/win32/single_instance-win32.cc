// Single instance on Win32: a named mutex that the system drops with the
// process.
#include <windows.h>

#include "platform/single_instance.h"

namespace platform {
namespace {

class MutexInstance : public InstanceLock {
 public:
  explicit MutexInstance(HANDLE h) : h_(h) {}
  ~MutexInstance() override { CloseHandle(h_); }

 private:
  HANDLE h_;
};

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string&) {
  HANDLE h = CreateMutexW(nullptr, FALSE, L"Local\\Quilo1.SingleInstance");
  if (!h) return nullptr;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<MutexInstance>(h);
}

}  // namespace platform
