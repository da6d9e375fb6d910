// Close requests on Win32: a console control event (Ctrl+C, closing the
// console, logoff, shutdown) sets an event that the loop waits on.
#include <windows.h>

#include "platform/close_request.h"

namespace platform {
namespace {

HANDLE g_event = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  if (g_event) SetEvent(g_event);
  return TRUE;
}

class EventCloseRequest : public CloseRequest {
 public:
  EventCloseRequest(EventLoop& loop, HANDLE ev, std::function<void()> onClose)
      : loop_(loop), ev_(ev), onClose_(std::move(onClose)) {
    id_ = loop_.AddHandle(reinterpret_cast<NativeHandle>(ev_), [this] { onClose_(); });
  }
  ~EventCloseRequest() override {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_event = nullptr;
    loop_.RemoveHandle(id_);
    CloseHandle(ev_);
  }

 private:
  EventLoop& loop_;
  HANDLE ev_;
  int id_ = 0;
  std::function<void()> onClose_;
};

}  // namespace

std::unique_ptr<CloseRequest> CloseRequest::Install(EventLoop& loop, std::function<void()> onClose) {
  HANDLE ev = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: one call per request
  if (!ev) return nullptr;
  g_event = ev;
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  return std::make_unique<EventCloseRequest>(loop, ev, std::move(onClose));
}

}  // namespace platform
