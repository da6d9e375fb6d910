// Units of work on the printer link, one at a time, in the order they came per port.
#include "service/printer_queue.h"

namespace service {

bool PrinterQueue::Submit(int16_t port, const std::string& name, Unit unit) {
  if (port < 1 || port > 4) return false;
  if (Busy()) {
    queued_[port - 1].push_back({name, std::move(unit)});
    return false;
  }
  RunThenDrain(port, name, std::move(unit));
  return true;
}

size_t PrinterQueue::Queued() const {
  size_t n = 0;
  for (const auto& q : queued_) n += q.size();
  return n;
}

void PrinterQueue::RunThenDrain(int16_t port, const std::string& name, Unit unit) {
  running_ = name.empty() ? "?" : name;
  runningPort_ = port;
  unit();
  running_.clear();
  // Lower ports first, as the scan takes them.
  for (bool more = true; more && !Busy();) {
    more = false;
    for (int16_t n = 1; n <= 4; ++n) {
      auto& q = queued_[n - 1];
      if (q.empty()) continue;
      Entry e = std::move(q.front());
      q.pop_front();
      running_ = e.name.empty() ? "?" : e.name;
      runningPort_ = n;
      e.unit();
      running_.clear();
      more = true;
      break;
    }
  }
}

std::vector<std::string> PrinterQueue::DropQueued() {
  std::vector<std::string> names;
  for (auto& q : queued_) {
    for (const Entry& e : q) names.push_back(e.name);
    q.clear();
  }
  return names;
}

}  // namespace service
