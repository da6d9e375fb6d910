// The program's one event loop: timers, waitable handles and (on Win32) window
// messages. Every wait of the program runs it, so nothing ever spins.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// A file descriptor on POSIX, a HANDLE on Win32.
using NativeHandle = std::intptr_t;

// Abstract so tests can drive time by hand (see testing/fake_event_loop.h).
class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Milliseconds of a monotonic clock; only differences mean anything. The
  // real loops read Clock::Real().MonotonicMs, the program's one such clock.
  virtual int64_t NowMs() = 0;

  // Calls `fn` once, `delay_ms` from now. Returns an id above 0.
  virtual int AddTimer(int64_t delay_ms, std::function<void()> fn) = 0;
  // Cancelling an unknown or already fired timer is harmless.
  virtual void CancelTimer(int id) = 0;

  // Calls `fn` from RunOnce whenever `handle` is readable (POSIX) or
  // signalled (Win32). Returns an id above 0.
  virtual int AddHandle(NativeHandle handle, std::function<void()> fn) = 0;
  virtual void RemoveHandle(int id) = 0;

  // Blocks until at least one timer, handle or message has been dispatched,
  // or `timeout_ms` has passed (-1: no limit). Waits may nest: a callback may
  // itself call RunOnce, as the printer link does while a scan is running.
  virtual void RunOnce(int64_t timeout_ms) = 0;

  // Makes a RunOnce that is blocked return; safe from a signal handler or
  // another thread.
  virtual void Wake() = 0;

  static std::unique_ptr<EventLoop> Create();
};

// Runs the loop until `done()` holds or `timeout_ms` has passed (-1: no
// limit). Returns done().
bool RunUntil(EventLoop& loop, const std::function<bool()>& done, int64_t timeout_ms);

}  // namespace platform
