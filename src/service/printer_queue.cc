// Units of work on the printer link, one at a time, in the order they came per port.
#include "service/printer_queue.h"

namespace service {

bool PrinterQueue::Submit(int16_t port, const std::string& name, Unit unit, bool first) {
  if (port < 1 || port > 4) return false;
  if (Busy() || draining_) {
    (first ? first_ : queued_[port - 1]).push_back({name, std::move(unit), port});
    Changed();
    return false;
  }
  RunThenDrain(port, name, std::move(unit));
  return true;
}

size_t PrinterQueue::Queued() const {
  size_t n = first_.size();
  for (const auto& q : queued_) n += q.size();
  return n;
}

size_t PrinterQueue::Waiting(int16_t port, const std::string& name) const {
  size_t n = 0;
  if (port >= 1 && port <= 4)
    for (const Entry& e : queued_[port - 1]) n += e.name == name ? 1 : 0;
  for (const Entry& e : first_) n += e.port == port && e.name == name ? 1 : 0;
  return n;
}

bool PrinterQueue::TakeNext(Entry* next) {
  if (!first_.empty()) {
    *next = std::move(first_.front());
    first_.pop_front();
    return true;
  }
  // Lower ports first, as the scan takes them.
  for (auto& q : queued_) {
    if (q.empty()) continue;
    *next = std::move(q.front());
    q.pop_front();
    return true;
  }
  return false;
}

void PrinterQueue::RunThenDrain(int16_t port, const std::string& name, Unit unit) {
  draining_ = true;
  Entry next{name, std::move(unit), port};
  do {
    running_ = next.name.empty() ? "?" : next.name;
    runningPort_ = next.port;
    Changed();
    next.unit();
    running_.clear();
    Changed();
    if (between_) between_(next.name);
  } while (TakeNext(&next));
  draining_ = false;
}

std::vector<std::string> PrinterQueue::DropQueued() {
  std::vector<std::string> names;
  for (const Entry& e : first_) names.push_back(e.name);
  first_.clear();
  for (auto& q : queued_) {
    for (const Entry& e : q) names.push_back(e.name);
    q.clear();
  }
  Changed();
  return names;
}

}  // namespace service
