// The job service's printer side on the real link: probing, the dump, the
// document transmission and single commands. It owns what the dumps found
// out about the printer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ecr/dump.h"
#include "ecr/link.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "service/job_printer.h"
#include "settings/settings_store.h"

namespace service {

// The wall clock of the link's trace stamps, until the platform's own clock
// is there to take its place.
platform::Clock& InterimClock();

class EcrJobPrinter : public JobPrinter {
 public:
  // `message` shows the converter's and the transmission's message boxes.
  EcrJobPrinter(ecr::EcrLink& link, const settings::Settings& settings,
                std::function<void(const std::string&)> message)
      : link_(link), settings_(settings), message_(std::move(message)), files_(CreateInterimFiles()) {}

  bool ProbePort(int16_t port) override;
  void OpenPort(int16_t port) override;
  void ClosePort(int16_t port) override;
  int16_t RunDump(int16_t port, const std::string& dataDir) override;
  const ecr::PrinterIdentity& identity() const override { return identity_; }
  int16_t SendFile(int16_t port, ExchangeFiles& files, const std::string& dataPath, const std::string& outPath,
                   bool sendAsIs, std::string* errorDetail) override;
  int16_t Send(const std::string& command) override { return link_.TrasmettiStringa(command); }
  std::string LastErrorCode() override { return link_.lastErrorCode(); }
  void RaiseTimedOut() override { link_.RaiseTimedOut(); }
  bool CheckStatusFirst() override { return link_.state().checkStatusFirst; }
  void SetTraceSink(std::function<void(const std::string&)> sink) override { link_.SetTraceSink(std::move(sink)); }

 private:
  ecr::EcrLink& link_;
  const settings::Settings& settings_;
  std::function<void(const std::string&)> message_;
  ecr::PrinterIdentity identity_;
  // SR_OUT, the dump trace and the daily totals, until the platform's own
  // file layer is there to take its place.
  static std::unique_ptr<platform::FileSystem> CreateInterimFiles();
  std::unique_ptr<platform::FileSystem> files_;
};

}  // namespace service
