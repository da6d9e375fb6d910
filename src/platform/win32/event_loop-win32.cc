// Win32 event loop: MsgWaitForMultipleObjects over the registered handles, a
// wake event and the thread's message queue. One loop a thread: Wake alone
// may be called from another.
#include <windows.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/handle_table.h"
#include "platform/timer_queue.h"
#include "platform/win32/message_filter.h"

namespace platform {
namespace {

// Set by the window thread, read by every thread's loop.
std::atomic<MessageFilter> g_filter{nullptr};

class Win32EventLoop : public EventLoop {
 public:
  Win32EventLoop() { wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr); }
  ~Win32EventLoop() override { CloseHandle(wake_); }

  int64_t NowMs() override { return Clock::Real().MonotonicMs(); }
  int AddTimer(int64_t delay_ms, std::function<void()> fn) override {
    return timers_.Add(NowMs() + (delay_ms < 0 ? 0 : delay_ms), std::move(fn));
  }
  void CancelTimer(int id) override { timers_.Cancel(id); }

  int AddHandle(NativeHandle handle, std::function<void()> fn) override {
    return handles_.Add(handle, std::move(fn));
  }
  void RemoveHandle(int id) override { handles_.Remove(id); }

  void RunOnce(int64_t timeout_ms) override {
    if (timers_.RunOneDue(NowMs())) return;
    if (DispatchMessages()) return;
    int64_t wait = timeout_ms;
    if (!timers_.Empty()) {
      int64_t until_timer = timers_.NextDue() - NowMs();
      if (until_timer < 0) until_timer = 0;
      if (wait < 0 || until_timer < wait) wait = until_timer;
    }
    std::vector<HANDLE> hs{wake_};
    std::vector<int> ids{0};
    for (const auto& h : handles_.entries()) {
      if (hs.size() >= MAXIMUM_WAIT_OBJECTS - 1) break;
      hs.push_back(HANDLE(h.handle));
      ids.push_back(h.id);
    }
    DWORD ms = wait < 0 ? INFINITE : DWORD(wait > 0x7fffffff ? 0x7fffffff : wait);
    // MWMO_INPUTAVAILABLE: also wake for input that a nested message loop
    // has already seen but left queued (a window waiting to be painted).
    DWORD r = MsgWaitForMultipleObjectsEx(DWORD(hs.size()), hs.data(), ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + hs.size()) {
      handles_.Run(ids[r - WAIT_OBJECT_0]);
      return;
    }
    if (r == WAIT_OBJECT_0 + hs.size()) {
      DispatchMessages();
      return;
    }
    if (r == WAIT_OBJECT_0) return;
    timers_.RunOneDue(NowMs());
  }

  void Wake() override { SetEvent(wake_); }

 private:
  bool DispatchMessages() {
    bool any = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      any = true;
      MessageFilter filter = g_filter.load();
      if (filter && filter(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return any;
  }

  HANDLE wake_;
  TimerQueue timers_;
  HandleTable handles_;
};

}  // namespace

std::unique_ptr<EventLoop> EventLoop::Create() { return std::make_unique<Win32EventLoop>(); }

void SetMessageFilter(MessageFilter filter) { g_filter = filter; }

}  // namespace platform
