// The job service's printer side on the real link: probing, the dump, the
// conversion and the document transmission, single commands. It owns what
// the dumps found out about the printer.
#pragma once

#include <functional>
#include <string>

#include "ecr/dump.h"
#include "ecr/link.h"
#include "ecr/transmission.h"
#include "platform/file_system.h"
#include "service/job_printer.h"
#include "settings/settings_store.h"

namespace service {

class EcrJobPrinter : public JobPrinter {
 public:
  // `message` shows the converter's and the transmission's message boxes.
  EcrJobPrinter(ecr::EcrLink& link, platform::FileSystem& fs, const settings::Settings& settings,
                std::function<void(const std::string&)> message);

  bool ProbePort(int16_t port) override;
  void OpenPort(int16_t port) override;
  void ClosePort(int16_t port) override;
  int16_t RunDump(int16_t port, const std::string& dataDir) override;
  const ecr::PrinterIdentity& identity() const override { return identity_; }
  int16_t SendDocument(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines,
                       const std::string& bytes, bool sendAsIs, ClosingWatch& closing,
                       std::string* errorDetail) override;
  int ReadReceiptCounter(int16_t port) override;
  int ReceiptOpen(int16_t port) override;
  bool CancelReceipt(int16_t port) override;
  int LastKnownReceiptCounter() const override { return lastCounter_; }
  bool AppendReceiptStamp(int16_t port, ExchangeFiles& files) override;
  int16_t Send(const std::string& command) override { return link_.TrasmettiStringa(command); }
  std::string LastErrorCode() override { return link_.lastErrorCode(); }
  void RaiseTimedOut() override { link_.RaiseTimedOut(); }
  bool Closing() override { return link_.timedOutRaised(); }
  uint64_t PaperEndWaits() const override { return paperEndWaits_; }
  bool CheckStatusFirst() override { return link_.state().checkStatusFirst; }
  void SetTraceSink(std::function<void(const std::string&)> sink) override;

 private:
  // Converts the document in memory and writes the records of the
  // conversion; 0, or the status of a document that is not sent.
  int16_t Convert(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines, const std::string& bytes,
                  bool refuseNothingToPrint, ecr::NativeDocument* doc);
  // An empty SR_OUT, tried three times 100 ms apart; false with its message
  // box shown.
  bool CreateOut(const std::string& path);

  ecr::EcrLink& link_;
  platform::FileSystem& fs_;
  const settings::Settings& settings_;
  std::function<void(const std::string&)> message_;
  std::function<void(const std::string&)> trace_;
  ecr::PrinterIdentity identity_;
  int lastCounter_ = -1;
  uint64_t paperEndWaits_ = 0;
};

}  // namespace service
