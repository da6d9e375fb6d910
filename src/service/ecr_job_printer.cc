// The real printer side of the job service, on the link, the dump and the
// document transmission.
#include "service/ecr_job_printer.h"

#include "convert/converter.h"
#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/exchange_files.h"
#include "service/version.h"

namespace service {

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
  int16_t result = ecr::Vexocx21_DoDumpConf(link_, dataDir, identity_);
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
    if (sendAsIs_) {
      doc->commandFile = dataPath_;
      return true;
    }
    convert::ConversionResult r = convert::ConvertDocument(dataPath_, ctx_);
    if (r.result == 1) return false;
    doc->commandFile = r.outputPath.empty() ? convert::DataFile(ctx_, "KB.txt") : r.outputPath;
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
  ctx.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  ctx.writeErrFile = [&files, port](const std::string& text) { files.WriteErrFile(text, port); };
  ctx.message = message_;
  return ecr::DoSendFile(link_, document, ctx, errorDetail);
}

}  // namespace service
