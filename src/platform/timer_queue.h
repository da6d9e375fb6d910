// Ordered one-shot timers, shared by the real loops and the fake one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace platform {

class TimerQueue {
 public:
  int Add(int64_t due_ms, std::function<void()> fn) {
    int id = ++last_id_;
    timers_.emplace(std::make_pair(due_ms, id), std::move(fn));
    return id;
  }
  void Cancel(int id) {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->first.second == id) {
        timers_.erase(it);
        return;
      }
    }
  }
  bool Empty() const { return timers_.empty(); }
  // Due time of the earliest timer; only valid when not Empty().
  int64_t NextDue() const { return timers_.begin()->first.first; }
  // Removes and runs the earliest timer when it is due at `now_ms`.
  bool RunOneDue(int64_t now_ms) {
    if (timers_.empty() || timers_.begin()->first.first > now_ms) return false;
    auto fn = std::move(timers_.begin()->second);
    timers_.erase(timers_.begin());
    fn();
    return true;
  }

 private:
  int last_id_ = 0;
  std::map<std::pair<int64_t, int>, std::function<void()>> timers_;
};

}  // namespace platform
