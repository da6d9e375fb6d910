// The real printer side of the job service, on the link, the dump and the
// document transmission.
#include "service/ecr_job_printer.h"

#include <chrono>
#include <fstream>
#include <iterator>

#include "convert/converter.h"
#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/exchange_files.h"
#include "service/file_ops.h"
#include "service/version.h"

namespace service {

namespace {

class SystemClock : public platform::Clock {
 public:
  platform::LocalTime Now() override { return platform::NowLocal(); }
  int64_t MonotonicMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

// The few file calls of the printer side on the service's own file operations.
class FileOpsFiles : public platform::FileSystem {
 public:
  platform::FileKind Kind(const std::string& path) override {
    bool exists = false;
    return ops_->Exists(path, &exists) && exists ? platform::FileKind::kRegular : platform::FileKind::kMissing;
  }
  platform::ReadStatus ReadFile(const std::string&, size_t, std::string*, std::string* error) override {
    *error = "not available";
    return platform::ReadStatus::kFailed;
  }
  bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) override {
    if (ops_->Write(path, bytes)) return true;
    *error = "cannot write " + path;
    return false;
  }
  bool CreateFile(const std::string&, const std::string&, std::string* error) override {
    *error = "not available";
    return false;
  }
  bool AppendFile(const std::string& path, const std::string& bytes, bool, std::string* error) override {
    if (ops_->Append(path, bytes)) return true;
    *error = "cannot append to " + path;
    return false;
  }
  bool RemoveFile(const std::string& path) override { return ops_->Remove(path); }
  bool MakeDirectory(const std::string& path) override { return ops_->MakeDirectory(path); }
  bool ListDirectory(const std::string&, std::vector<std::string>*) override { return false; }

 private:
  std::unique_ptr<FileOps> ops_ = FileOps::CreateReal();
};

// The native command file as lines; false when it cannot be read.
bool ReadCommands(const std::string& path, std::vector<std::string>* commands) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  *commands = ecr::CommandLines(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  return !in.bad();
}

}  // namespace

platform::Clock& InterimClock() {
  static SystemClock clock;
  return clock;
}

std::unique_ptr<platform::FileSystem> EcrJobPrinter::CreateInterimFiles() { return std::make_unique<FileOpsFiles>(); }

bool EcrJobPrinter::ProbePort(int16_t port) { return link_.ProgrammaPortaSeriale(port) == 0; }

void EcrJobPrinter::OpenPort(int16_t port) {
  link_.SetCurrentPort(port);
  link_.Vexocx21_OpenPort();
}

void EcrJobPrinter::ClosePort(int16_t port) {
  link_.SetCurrentPort(port);
  link_.Vexocx21_ClosePort();
}

int16_t EcrJobPrinter::RunDump(int16_t port, const std::string& dataDir) {
  link_.SetCurrentPort(port);
  link_.Vexocx21_OpenPort();
  int16_t result = ecr::Vexocx21_DoDumpConf(link_, *files_, dataDir, identity_);
  link_.Vexocx21_ClosePort();
  return result;
}

namespace {

// The job's document: converted for every attempt of the transmission, or
// sent as it is (the test receipt is native commands already).
class JobDocument : public ecr::DocumentSource {
 public:
  JobDocument(const std::string& dataPath, bool sendAsIs, const convert::ConvertContext& ctx)
      : dataPath_(dataPath), sendAsIs_(sendAsIs), ctx_(ctx) {}

  bool Prepare(ecr::NativeDocument* doc) override {
    *doc = ecr::NativeDocument();
    if (sendAsIs_) return ReadCommands(dataPath_, &doc->commands);
    convert::ConversionResult r = convert::ConvertDocument(dataPath_, ctx_);
    if (r.result == 1) return false;
    if (!ReadCommands(r.outputPath.empty() ? convert::DataFile(ctx_, "KB.txt") : r.outputPath, &doc->commands))
      return false;
    doc->paymentSeen = r.paymentSeen;
    doc->invoiceMode = r.invoiceMode;
    doc->functionDocument = r.functionDocument;
    doc->cashDue = r.cashDue;
    doc->chequeDue = r.chequeDue;
    doc->cardDue = r.cardDue;
    doc->otherDue = r.otherDue;
    doc->paymentText = r.paymentText;
    return true;
  }

 private:
  const std::string& dataPath_;
  const bool sendAsIs_;
  const convert::ConvertContext& ctx_;
};

}  // namespace

int16_t EcrJobPrinter::SendFile(int16_t port, ExchangeFiles& files, const std::string& dataPath,
                                const std::string& outPath, bool sendAsIs, std::string* errorDetail) {
  link_.SetCurrentPort(port);
  convert::ConvertContext conv;
  conv.dataDir = files.dataDir();
  conv.currentPort = port;
  conv.options = settings_.options;
  conv.vat = settings_.vat;
  conv.printer.rtMode = identity_.rtMode;
  conv.printer.printerSerial = identity_.printerSerial;
  conv.printer.taxCodeKind = identity_.taxCodeKind;
  conv.now = platform::NowLocal();
  conv.decimalSeparator = platform::DecimalSeparator();
  conv.pause = [this](int ms) { link_.Attendi(float(ms)); };
  conv.message = message_;
  JobDocument document(dataPath, sendAsIs, conv);

  ecr::TransmissionContext ctx;
  ctx.rtMode = identity_.rtMode;
  ctx.decimalSeparator = conv.decimalSeparator;
  ctx.outPath = outPath;
  ctx.dataDir = files.dataDir();
  ctx.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  ctx.writeErrFile = [&files, port](const std::string& text) { files.WriteErrFile(text, port); };
  ctx.message = message_;
  return ecr::DoSendFile(link_, *files_, document, ctx, errorDetail);
}

}  // namespace service
