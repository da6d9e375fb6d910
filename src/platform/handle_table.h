// The waitable handles registered with an event loop, shared by the real loops.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/event_loop.h"

namespace platform {

class HandleTable {
 public:
  struct Entry {
    int id;
    NativeHandle handle;
    std::shared_ptr<std::function<void()>> fn;
  };

  int Add(NativeHandle handle, std::function<void()> fn) {
    entries_.push_back({++last_id_, handle, std::make_shared<std::function<void()>>(std::move(fn))});
    return last_id_;
  }
  void Remove(int id) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->id == id) {
        entries_.erase(it);
        return;
      }
    }
  }
  const std::vector<Entry>& entries() const { return entries_; }

  // The callback may remove handles or nest another wait: look the handler
  // up again and keep it alive while it runs.
  void Run(int id) {
    for (const auto& e : entries_) {
      if (e.id == id) {
        auto fn = e.fn;
        (*fn)();
        return;
      }
    }
  }

 private:
  std::vector<Entry> entries_;
  int last_id_ = 0;
};

}  // namespace platform
