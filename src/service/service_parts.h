// What the job service and its parts work with, owned by the program.
#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/file_system.h"
#include "service/job_printer.h"
#include "service/payment_step.h"
#include "service/status_view.h"
#include "settings/settings_store.h"

namespace service {

// What the service needs from the program around it.
class ProgramHost {
 public:
  virtual ~ProgramHost() = default;
  virtual void SaveSettings() = 0;
  // Ends the program at once, without the closing (fatal file errors).
  virtual void EndProgram() = 0;
};

// The objects the service works with, owned by the program.
struct ServiceParts {
  platform::EventLoop& loop;
  platform::FileSystem& fs;
  platform::Clock& clock;
  JobPrinter& printer;
  settings::Settings& settings;
  StatusView& view;
  ProgramHost& host;
  PaymentStep* payment = nullptr;  // null: no card payment
  std::string programDir;          // where "Set timer" stores the interval
  // The job journal's folder, out of the hosts' reach; empty: programDir.
  std::string journalDir{};
};

}  // namespace service
