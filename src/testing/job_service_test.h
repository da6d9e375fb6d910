// The job service's test bench, shared by the tests of its parts (job
// service, job runner, recovery, printer queue, detection, operator
// actions): a fake printer, payment and view, the virtual-time loop and a
// temporary data directory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ecr/receipts.h"
#include "service/job_service.h"
#include "testing/fake_clock.h"
#include "testing/fake_event_loop.h"
#include "testing/temp_dir.h"

namespace service {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class FakePrinter : public JobPrinter {
 public:
  bool ProbePort(int16_t port) override { return available[port - 1]; }
  void OpenPort(int16_t port) override { log.push_back("open " + std::to_string(port)); }
  void ClosePort(int16_t port) override { log.push_back("close " + std::to_string(port)); }
  int16_t RunDump(int16_t port, const std::string& dataDir) override {
    log.push_back("dump " + std::to_string(port));
    if (rt) {
      ecr::ReadIdentification("X99MEY012345ABCDEFGHIJKLM1XY", &id);
    } else {
      ecr::ReadIdentification("CU10000" + std::to_string(port), &id);
    }
    id.firmwareVersion = "05.01.02";
    return dumpResult[port - 1];
  }
  const ecr::PrinterIdentity& identity() const override { return id; }
  int16_t SendDocument(int16_t port, ExchangeFiles&, const std::vector<std::string>& lines, const std::string& b,
                       bool sendAsIs, ClosingWatch& closing, std::string* errorDetail) override {
    bytes.push_back(b);
    log.push_back("send " + std::to_string(port) + (sendAsIs ? " as is" : "") + (traceOpen ? " traced" : ""));
    documents.push_back(lines);
    if (duringSend) duringSend();
    *errorDetail = detail;
    closing.printed = printed;
    return status;
  }
  int16_t Send(const std::string& command) override {
    log.push_back(command + (traceOpen ? " traced" : ""));
    if (onSend) onSend(command);
    return sendResult;
  }
  bool CancelReceipt(int16_t port) override {
    OpenPort(port);
    bool done = true;
    for (const std::string& command : ecr::CancelReceiptCommands()) done = Send(command) == 0 && done;
    ClosePort(port);
    return done;
  }
  std::string LastErrorCode() override { return code; }
  void RaiseTimedOut() override {
    log.push_back("timed out");
    closing = true;
  }
  bool Closing() override { return closing; }
  uint64_t PaperEndWaits() const override { return 0; }
  int ReadReceiptCounter(int16_t) override {
    log.push_back("1004");
    return counter;
  }
  int LastKnownReceiptCounter() const override { return counter; }
  bool AppendReceiptStamp(int16_t, ExchangeFiles&) override {
    log.push_back("stamp");
    return true;
  }
  bool CheckStatusFirst() override { return false; }
  void SetTraceSink(std::function<void(const std::string&)> sink) override { traceOpen = bool(sink); }

  bool available[4] = {true, true, true, true};
  bool closing = false;
  int counter = -1;
  int16_t dumpResult[4] = {0, 0, 0, 0};
  int16_t status = 0;
  std::string detail, code;
  bool traceOpen = false;
  bool rt = false;
  ecr::PrinterIdentity id;
  std::function<void()> duringSend;
  std::function<void(const std::string&)> onSend;
  bool printed = false;  // the document sent a line into a receipt
  int16_t sendResult = 0;
  std::vector<std::string> log;
  std::vector<std::vector<std::string>> documents;
  std::vector<std::string> bytes;
};

// The real file system, where the data file may vanish before it is read.
class VanishingFiles : public platform::FileSystem {
 public:
  platform::FileKind Kind(const std::string& p) override { return real_->Kind(p); }
  platform::ReadStatus ReadFile(const std::string& p, size_t max, std::string* c, std::string* e) override {
    if (!vanish.empty() && p.size() >= vanish.size() && p.compare(p.size() - vanish.size(), vanish.size(), vanish) == 0)
      return platform::ReadStatus::kMissing;
    return real_->ReadFile(p, max, c, e);
  }
  bool WriteFile(const std::string& p, const std::string& b, std::string* e) override { return real_->WriteFile(p, b, e); }
  bool CreateFile(const std::string& p, const std::string& b, std::string* e) override {
    return real_->CreateFile(p, b, e);
  }
  bool AppendFile(const std::string& p, const std::string& b, bool s, std::string* e) override {
    return real_->AppendFile(p, b, s, e);
  }
  bool RemoveFile(const std::string& p) override { return real_->RemoveFile(p); }
  bool MakeDirectory(const std::string& p) override { return real_->MakeDirectory(p); }
  bool ListDirectory(const std::string& p, std::vector<std::string>* n) override { return real_->ListDirectory(p, n); }
  bool WriteFileMode(const std::string& p, const std::string& b, unsigned m, std::string* e) override {
    return real_->WriteFileMode(p, b, m, e);
  }
  bool WriteBeneath(const std::string& d, const std::string& n, const std::string& b, std::string* e) override {
    return real_->WriteBeneath(d, n, b, e);
  }
  bool AppendBeneath(const std::string& d, const std::string& n, const std::string& b, std::string* e) override {
    return real_->AppendBeneath(d, n, b, e);
  }
  bool RemoveBeneath(const std::string& d, const std::string& n) override { return real_->RemoveBeneath(d, n); }
  std::string vanish;

 private:
  std::unique_ptr<platform::FileSystem> real_ = platform::FileSystem::CreateReal();
};

// Records what the service shows, one "field: text" line per change.
class RecordingView : public StatusView {
 public:
  RecordingView() {
    Subscribe([this](const ServiceState& s, StateChange c) { Record(s, c); });
  }
  std::vector<std::string> lines;

 private:
  void Record(const ServiceState& s, StateChange c) {
    const PortStatus& p = s.ports[c.port >= 1 && c.port <= 4 ? c.port - 1 : 0];
    const std::string n = std::to_string(c.port);
    switch (c.what) {
      case Shown::kPrinterMessage: return Add("Text1", s.printerMessage);
      case Shown::kProgramStatus: return Add("Text2", s.programStatus);
      case Shown::kDetectionText: return Add("Text3", s.detectionText);
      case Shown::kTrayIcon: return Add("tip", s.trayTip);
      case Shown::kPortBox:
        return Add("Check" + n, std::string(p.ticked ? "ticked" : "cleared") + (p.enabled ? "" : " disabled"));
      case Shown::kDumpState: return Add("Dump COM" + n, p.dumpState);
      case Shown::kSerial: return Add("Text8", p.serial);
      case Shown::kConfiguration: return Add("frames", s.configurationLocked ? "locked" : "unlocked");
      case Shown::kTestAvailable: return Add("CMBFile", s.testAvailable ? "enabled" : "disabled");
      case Shown::kClosingNotice: return Add("Form1", s.closingNotice);
      case Shown::kMessage: return Add("message", s.lastMessage);
      case Shown::kNote: return Add("log", s.lastNote);
      case Shown::kOptions:
        return Add("options", std::string(s.options.chbPagamentiEstesi ? "estesi" : "") + (s.rtPrinter ? " rt" : ""));
      default: return;
    }
  }
  void Add(const std::string& field, const std::string& text) { lines.push_back(field + ": " + text); }
};

class FakePayment : public PaymentStep {
 public:
  int16_t Request(const std::vector<std::string>& lines) override { return request ? request(lines) : 0; }
  void PrintSlip() override {
    if (slip) slip();
  }
  void Closing() override {}
  bool Approval(payment::POSData* data) const override {
    if (approved.commandWord.empty()) return false;
    *data = approved;
    return true;
  }
  void UseEarlierApproval(const payment::POSData& data) override { reused.push_back(data.AuthorizationCode); }
  void NoteCharged(const std::string& line) override { notes.push_back(line); }
  std::function<int16_t(const std::vector<std::string>&)> request;
  std::function<void()> slip;
  payment::POSData approved;  // what Request got approved; none when empty
  std::vector<std::string> reused, notes;
};

class JobServiceTest : public ::testing::Test, public ProgramHost {
 protected:
  JobServiceTest() { Restart(); }
  void Restart() {
    svc = std::make_unique<JobService>(
        ServiceParts{loop, fs, clock, printer, settings, view, *this, &payment, dir.path(), journalDir});
  }
  void SaveSettings() override { ++saves; }
  void EndProgram() override { ++ends; }
  std::string P(const std::string& name) { return dir.File(name); }
  void Job(int port) {
    std::string ext = ".00" + std::to_string(port);
    WriteFileBytes(P("SR_DATI" + ext), "SALE,N1,P100;\r\nCASH;\r\n");
    WriteFileBytes(P("SR_START" + ext), "");
  }
  bool Shown(const std::string& line) {
    for (const auto& l : view.lines)
      if (l == line) return true;
    return false;
  }
  // Starts and lets the first scans identify the printers.
  void StartIdentified() {
    svc->Start(dir.path());
    loop.Advance(settings.pollInterval);
    loop.RunOnce(0);
  }
  // The service's inner steps and state, for the tests below.
  void Scan() { svc->detection().Scan(); }
  int16_t VerifyStartPos() { return svc->detection().FindJob(); }
  void Dump(int16_t port) { svc->RunDump(port); }
  void Tick() { svc->detection().OnTimerTick(); }
  void WatchEvent() { svc->detection().OnDirectoryChanged(); }
  WindowTimer& timer21() { return svc->detection().timer(); }
  cWatchForChanges& watcher() { return svc->detection().watcher(); }
  bool DumpPending(int port) { return svc->detection().ports[port - 1].dumpPending; }
  bool& restartTick() { return svc->detection().restartTick(); }

  testing_support::ScopedTempDir dir;
  testing_support::FakeEventLoop loop;
  VanishingFiles fs;
  testing_support::FakeClock clock{&loop};
  FakePrinter printer;
  FakePayment payment;
  RecordingView view;
  settings::Settings settings;
  std::unique_ptr<JobService> svc;
  std::string journalDir;  // empty: the program directory
  int saves = 0, ends = 0;
};

}  // namespace service
