// The real printer side of the job service, on the link, the dump and the
// document transmission.
#include "service/ecr_job_printer.h"

#include <filesystem>
#include <vector>

#include "convert/converter.h"
#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/exchange_files.h"
#include "service/version.h"
#include "settings/document.h"

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

// Reads the document, converts it and writes the files the conversion
// leaves: tempSL.txt, the OPFS copy and rewritten document, KB.txt.
convert::ConversionResult ConvertDocumentFile(const std::string& path, const convert::ConvertContext& ctx,
                                              const std::function<void(const std::string&)>& message,
                                              std::string* outputPath) {
  namespace fs = std::filesystem;
  const std::string kb = convert::DataFile(ctx, "KB.txt");
  std::error_code ec;
  fs::remove(kb, ec);
  settings::FileError error;
  std::vector<std::string> lines;
  convert::ConversionResult r;
  if (!fs::exists(path, ec)) {
    r = convert::ConvertMissingDocument(ctx);
  } else if (!settings::ReadDocument(path, &lines, &error)) {
    r.result = 1;
  } else {
    r = convert::ConvertDocument(lines, ctx);
  }
  for (const std::string& text : r.messages)
    if (message) message(text);
  if (r.tempSL && !settings::WriteDocument(convert::DataFile(ctx, "tempSL.txt"), *r.tempSL, false, &error))
    r.result = 1;
  if (r.opfsCopy) {
    fs::copy_file(path, path + ".txt", fs::copy_options::overwrite_existing, ec);
    if (!settings::WriteDocument(path, r.rewrittenDocument, false, &error)) r.commands.clear();
  }
  if (r.result != 0 || r.commands.empty()) return r;
  if (!settings::WriteDocument(kb, r.commands, false, &error) || !fs::exists(kb, ec)) r.result = 1;
  else *outputPath = kb;
  return r;
}

// The job's document: converted for every attempt of the transmission, or
// sent as it is (the test receipt is native commands already).
class JobDocument : public ecr::DocumentSource {
 public:
  JobDocument(const std::string& dataPath, bool sendAsIs, const convert::ConvertContext& ctx,
              const std::function<void(const std::string&)>& message)
      : dataPath_(dataPath), sendAsIs_(sendAsIs), ctx_(ctx), message_(message) {}

  bool Prepare(ecr::NativeDocument* doc) override {
    *doc = ecr::NativeDocument();
    if (sendAsIs_) {
      doc->commandFile = dataPath_;
      return true;
    }
    std::string outputPath;
    convert::ConversionResult r = ConvertDocumentFile(dataPath_, ctx_, message_, &outputPath);
    if (r.result == 1) return false;
    doc->commandFile = outputPath.empty() ? convert::DataFile(ctx_, "KB.txt") : outputPath;
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
  const std::function<void(const std::string&)>& message_;
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
  conv.pathSeparator = platform::PathSeparator();
  const platform::LocalTime now = platform::NowLocal();
  conv.now = {now.year, now.month, now.day, now.hour, now.minute, now.second};
  conv.decimalSeparator = platform::DecimalSeparator();
  JobDocument document(dataPath, sendAsIs, conv, message_);

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
