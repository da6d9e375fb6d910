// An event loop on virtual time, so time-outs of minutes run in microseconds.
#pragma once

#include "platform/event_loop.h"
#include "platform/timer_queue.h"

namespace testing_support {

class FakeEventLoop : public platform::EventLoop {
 public:
  int64_t NowMs() override { return now_; }
  int AddTimer(int64_t delay_ms, std::function<void()> fn) override {
    return timers_.Add(now_ + (delay_ms < 0 ? 0 : delay_ms), std::move(fn));
  }
  void CancelTimer(int id) override { timers_.Cancel(id); }
  // Handles never become ready on their own; fakes deliver through timers.
  int AddHandle(platform::NativeHandle, std::function<void()>) override { return ++handles_; }
  void RemoveHandle(int) override {}

  // Jumps to the next timer when it falls within the time-out, else lets
  // the whole time-out pass.
  void RunOnce(int64_t timeout_ms) override {
    ++rounds_;
    if (timers_.RunOneDue(now_)) return;
    if (!timers_.Empty() && (timeout_ms < 0 || timers_.NextDue() <= now_ + timeout_ms)) {
      now_ = timers_.NextDue();
      timers_.RunOneDue(now_);
      return;
    }
    if (timeout_ms > 0) now_ += timeout_ms;
  }
  void Wake() override {}

  void Advance(int64_t ms) { now_ += ms; }
  int64_t rounds() const { return rounds_; }

 private:
  int64_t now_ = 1000000;
  int64_t rounds_ = 0;
  int handles_ = 0;
  platform::TimerQueue timers_;
};

}  // namespace testing_support
