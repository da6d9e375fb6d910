// The real printer side of the job service, on the link, the dump and the
// document transmission.
#include "service/ecr_job_printer.h"

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

int16_t EcrJobPrinter::SendFile(int16_t port, ExchangeFiles& files, const std::string& dataPath,
                                const std::string& outPath, bool sendAsIs, std::string* errorDetail) {
  link_.SetCurrentPort(port);
  ecr::TransmissionContext ctx;
  ctx.convert.dataDir = files.dataDir();
  ctx.convert.currentPort = port;
  ctx.convert.options = settings_.options;
  ctx.convert.vat = settings_.vat;
  ctx.convert.printer.rtMode = identity_.rtMode;
  ctx.convert.printer.printerSerial = identity_.printerSerial;
  ctx.convert.printer.taxCodeKind = identity_.taxCodeKind;
  ctx.convert.now = platform::NowLocal();
  ctx.convert.decimalSeparator = platform::DecimalSeparator();
  ctx.convert.pause = [this](int ms) { link_.Attendi(float(ms)); };
  ctx.convert.message = message_;
  convert::ConversionShared shared;
  ctx.shared = &shared;
  ctx.outPath = outPath;
  ctx.sendAsIs = sendAsIs;
  ctx.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  ctx.writeErrFile = [&files, port](const std::string& text) { files.WriteErrFile(text, port); };
  ctx.message = message_;
  return ecr::DoSendFile(link_, dataPath, ctx, errorDetail);
}

}  // namespace service
