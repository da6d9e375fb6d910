// The one owner of the printer link: every exchange with a printer (a job, a
// dump, the test receipt, "Annulla Scontrino", the cancel after a crash) is
// a unit of work, run start to end, one at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace service {

class PrinterQueue {
 public:
  using Unit = std::function<void()>;

  // Runs `unit` at once when no unit runs, else queues it behind the others
  // of its port, or with `first` ahead of every waiting unit (a host's file
  // job). A unit submitted from inside a running unit's waits, or between
  // two units, is always queued, so units never nest. True when it ran at
  // once.
  bool Submit(int16_t port, const std::string& name, Unit unit, bool first = false);
  // Runs after each unit with its name, before the next is taken: the look
  // for file jobs, so a host's job whose start came during a unit goes
  // next, not after every unit that waits.
  void SetBetweenUnits(std::function<void(const std::string& finished)> hook) { between_ = std::move(hook); }
  // Runs whenever a unit is queued, starts or ends, or the queue is dropped.
  void SetChanged(std::function<void()> hook) { changed_ = std::move(hook); }
  bool Busy() const { return !running_.empty(); }
  // The running unit's name, empty when idle.
  const std::string& Running() const { return running_; }
  // The running unit's port, 0 when idle.
  int16_t RunningPort() const { return running_.empty() ? 0 : runningPort_; }
  size_t Queued() const;
  // The units called `name` waiting for `port`.
  size_t Waiting(int16_t port, const std::string& name) const;
  // The closing: the queued units are dropped; their names are returned.
  std::vector<std::string> DropQueued();

 private:
  struct Entry {
    std::string name;
    Unit unit;
    int16_t port = 0;
  };
  void RunThenDrain(int16_t port, const std::string& name, Unit unit);
  void Changed() {
    if (changed_) changed_();
  }
  bool TakeNext(Entry* next);

  // One list per port: the link is one today, so any running unit holds all
  // of them; a link per port would only change Busy() to a per-port test.
  std::deque<Entry> queued_[4];
  std::deque<Entry> first_;
  std::function<void(const std::string&)> between_;
  std::function<void()> changed_;
  bool draining_ = false;
  std::string running_;
  int16_t runningPort_ = 0;
};

}  // namespace service
