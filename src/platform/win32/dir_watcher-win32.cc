// Directory change notifications on three change-notification handles,
// waited on by the event loop with the program's other handles.
#include <windows.h>

#include "platform/dir_watcher.h"

namespace platform {
namespace {

const uint32_t kKinds[3] = {kChangeFileName, kChangeSize, kChangeLastWrite};

class ChangeHandleSource : public DirChangeSource {
 public:
  ChangeHandleSource(EventLoop& loop, std::function<void(uint32_t)> onChange)
      : loop_(loop), onChange_(std::move(onChange)) {}
  ~ChangeHandleSource() override {
    for (int i = 0; i < 3; ++i) {
      if (ids_[i]) loop_.RemoveHandle(ids_[i]);
      if (handles_[i] != INVALID_HANDLE_VALUE) FindCloseChangeNotification(handles_[i]);
    }
  }
  // WaitChange with a zero time-out on each handle, re-armed when signalled.
  uint32_t Poll() override {
    uint32_t kinds = 0;
    for (int i = 0; i < 3; ++i) {
      if (handles_[i] != INVALID_HANDLE_VALUE && WaitForSingleObject(handles_[i], 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(handles_[i]);
        kinds |= kKinds[i];
      }
    }
    return kinds;
  }
  bool Open(const std::string& dir, bool subTree) {
    static const DWORD kFilters[3] = {FILE_NOTIFY_CHANGE_FILE_NAME, FILE_NOTIFY_CHANGE_SIZE,
                                      FILE_NOTIFY_CHANGE_LAST_WRITE};
    for (int i = 0; i < 3; ++i) {
      handles_[i] = FindFirstChangeNotificationA(dir.c_str(), subTree ? TRUE : FALSE, kFilters[i]);
      if (handles_[i] == INVALID_HANDLE_VALUE) return false;
    }
    for (int i = 0; i < 3; ++i) {
      HANDLE h = handles_[i];
      uint32_t kind = kKinds[i];
      ids_[i] = loop_.AddHandle(reinterpret_cast<NativeHandle>(h), [this, h, kind] {
        // Re-arm before reporting, so a change made by the handler is seen.
        FindNextChangeNotification(h);
        onChange_(kind);
      });
    }
    return true;
  }

 private:
  EventLoop& loop_;
  std::function<void(uint32_t)> onChange_;
  HANDLE handles_[3] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
  int ids_[3] = {0, 0, 0};
};

}  // namespace

std::unique_ptr<DirChangeSource> DirChangeSource::Open(EventLoop& loop, const std::string& dir, bool subTree,
                                                       std::function<void(uint32_t)> onChange) {
  auto source = std::make_unique<ChangeHandleSource>(loop, std::move(onChange));
  if (!source->Open(dir, subTree)) return nullptr;
  return source;
}

}  // namespace platform
