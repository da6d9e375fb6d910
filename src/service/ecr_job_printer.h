// The job service's printer side on the real link: probing, the dump, the
// document transmission and single commands.
#pragma once

#include <functional>
#include <string>

#include "ecr/dump.h"
#include "ecr/link.h"
#include "service/exchange_files.h"
#include "service/job_printer.h"
#include "settings/settings_store.h"

namespace service {

class EcrJobPrinter : public JobPrinter, private ecr::DumpListener {
 public:
  // `files` are the job service's; set before the first call.
  EcrJobPrinter(ecr::EcrLink& link, const settings::Settings& settings) : link_(link), settings_(settings) {}
  void SetFiles(ExchangeFiles* files) { files_ = files; }

  // Message boxes of the converter.
  std::function<void(const std::string&)> message;
  // True while SR_OUT is open in a transmission.
  bool bOpenFileOut = false;
  const ecr::PrinterInfo& printer() const { return info_; }

  bool ProbePort(int16_t port) override;
  void ClosePort(int16_t port) override;
  int16_t RunDump(int16_t port, std::string* identification, std::string* firmwareVersion) override;
  int16_t SendFile(int16_t port, const std::string& dataPath, const std::string& outPath, bool sendAsIs,
                   std::string* errorDetail) override;
  int16_t Send(const std::string& command) override { return link_.TrasmettiStringa(command); }
  std::string LastErrorCode() override { return link_.lastErrorCode(); }
  void RaiseTimedOut() override { link_.RaiseTimedOut(); }
  bool CheckStatusFirst() override { return link_.state().checkStatusFirst; }
  void SetTraceSink(std::function<void(const std::string&)> sink) override { link_.SetTraceSink(std::move(sink)); }

 private:
  void Vexocx21_EvDumpConfDone(const std::string& identification, int16_t result) override;

  ecr::EcrLink& link_;
  ExchangeFiles* files_ = nullptr;
  const settings::Settings& settings_;
  ecr::PrinterInfo info_;
  std::string dumpIdentification_;
  int16_t dumpResult_ = -1;
};

}  // namespace service
