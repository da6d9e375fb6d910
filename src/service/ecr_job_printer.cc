// The real printer side of the job service, on the link, the dump and the
// document transmission.
#include "service/ecr_job_printer.h"

#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/version.h"

namespace service {

bool EcrJobPrinter::ProbePort(int16_t port) { return link_.ProgrammaPortaSeriale(port) == 0; }

void EcrJobPrinter::ClosePort(int16_t port) {
  link_.SetCurrentPort(port);
  link_.Vexocx21_ClosePort();
}

void EcrJobPrinter::Vexocx21_EvDumpConfDone(const std::string& identification, int16_t result) {
  dumpIdentification_ = identification;
  dumpResult_ = result;
}

int16_t EcrJobPrinter::RunDump(int16_t port, std::string* identification, std::string* firmwareVersion) {
  link_.SetCurrentPort(port);
  link_.Vexocx21_OpenPort();
  dumpIdentification_.clear();
  dumpResult_ = -1;
  ecr::Vexocx21_DoDumpConf(link_, files_->dataDir(), info_, *this);
  link_.Vexocx21_ClosePort();
  *identification = dumpIdentification_;
  *firmwareVersion = info_.firmwareVersion;
  return dumpResult_;
}

int16_t EcrJobPrinter::SendFile(int16_t port, const std::string& dataPath, const std::string& outPath,
                                bool sendAsIs, std::string* errorDetail) {
  link_.SetCurrentPort(port);
  ecr::TransmissionContext ctx;
  ctx.convert.dataDir = files_->dataDir();
  ctx.convert.currentPort = port;
  ctx.convert.options = settings_.options;
  ctx.convert.vat = settings_.vat;
  ctx.convert.printer.rtMode = files_->rtMode;
  ctx.convert.printer.printerSerial = files_->printerSerial;
  ctx.convert.printer.taxCodeKind = info_.taxCodeKind;
  ctx.convert.now = platform::NowLocal();
  ctx.convert.decimalSeparator = platform::DecimalSeparator();
  ctx.convert.pause = [this](int ms) { link_.Attendi(float(ms)); };
  ctx.convert.message = message;
  convert::ConversionShared shared;
  ctx.shared = &shared;
  ctx.outPath = outPath;
  ctx.sendAsIs = sendAsIs;
  ctx.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  ctx.writeErrFile = [this, port](const std::string& text) { files_->WriteErrFile(text, port); };
  ctx.message = message;
  ctx.bOpenFileOut = &bOpenFileOut;
  return ecr::DoSendFile(link_, dataPath, ctx, errorDetail);
}

}  // namespace service
