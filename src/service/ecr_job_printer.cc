// The real printer side of the job service: the conversion in memory, its
// records in the data directory, the link, the dump and the transmission.
#include "service/ecr_job_printer.h"

#include <algorithm>
#include <cstdlib>

#include "convert/converter.h"
#include "ecr/receipts.h"
#include "ecr/registers.h"
#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/exchange_files.h"
#include "service/version.h"
#include "settings/document.h"

namespace service {

namespace {

const char kPaperEndNotice[] = "E096: Fine carta scontrino, sostituire rotolo";

// The receipt amounts ("1003") carry the open flag at 9: 1 open, 0 not, -1
// not told.
int OpenFlagOf(const std::string& answer) {
  if (answer.size() < 9 || answer.compare(0, 4, "1003") != 0) return -1;
  return answer[8] == '1' ? 1 : answer[8] == '0' ? 0 : -1;
}

// Every document's conversion opens with a blank description line; only
// a command past such lines puts something on paper.
bool PrintsSomething(const std::string& command) {
  return command.compare(0, 4, "7007") != 0 || command.find_first_not_of(' ', 4) != std::string::npos;
}

// What the job learns while its document goes out: the paper-end notice
// goes into the port's SR_ERR, the closing into the job's journal.
class JobEvents : public ecr::TransmissionEvents {
 public:
  JobEvents(ExchangeFiles& files, int16_t port, ClosingWatch& closing, uint64_t& paperEndWaits)
      : files_(files), port_(port), closing_(closing), paperEndWaits_(paperEndWaits) {}
  void PaperEndWait() override {
    ++paperEndWaits_;
    files_.WriteErrFile(kPaperEndNotice, port_);
  }
  void ClosingAboutToBeSent(int counterBefore) override {
    closing_.sent = true;
    closing_.counterBefore = counterBefore;
    if (closing_.aboutToClose) closing_.aboutToClose(counterBefore);
  }

 private:
  ExchangeFiles& files_;
  int16_t port_;
  ClosingWatch& closing_;
  uint64_t& paperEndWaits_;
};

}  // namespace

EcrJobPrinter::EcrJobPrinter(ecr::EcrLink& link, platform::FileSystem& fs, const settings::Settings& settings,
                             std::function<void(const std::string&)> message)
    : link_(link), fs_(fs), settings_(settings), message_(std::move(message)) {}

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
  OpenPort(port);
  int16_t result = ecr::Vexocx21_DoDumpConf(link_, fs_, dataDir, identity_);
  // Whatever the keys printed while the program was down: the counter of a
  // former run says nothing of this one's first closing.
  lastCounter_ = -1;
  if (result == 0) ReadReceiptCounter(port);
  link_.Vexocx21_ClosePort();
  return result;
}

void EcrJobPrinter::SetTraceSink(std::function<void(const std::string&)> sink) {
  trace_ = sink;
  link_.SetTraceSink(std::move(sink));
}

int EcrJobPrinter::ReadReceiptCounter(int16_t port) {
  link_.SetCurrentPort(port);
  if (link_.TrasmettiStringa("1004") != 0) return -1;
  lastCounter_ = ecr::ReceiptCounterOf(link_.lastAnswer());
  return lastCounter_;
}

bool EcrJobPrinter::CancelReceipt(int16_t port) {
  OpenPort(port);
  bool done = true;
  for (const std::string& command : ecr::CancelReceiptCommands()) done = link_.TrasmettiStringa(command) == 0 && done;
  ClosePort(port);
  // The cancelling closes the receipt: its number is no longer known.
  lastCounter_ = -1;
  return done;
}

bool EcrJobPrinter::CreateOut(const std::string& path) {
  for (int attempt = 1;; ++attempt) {
    std::string error;
    if (fs_.WriteFile(path, "", &error)) return true;
    if (attempt == 3) {
      if (message_) message_("ERRORE3 = Path/File access error: " + path + " - 75riga 3");
      return false;
    }
    link_.Attendi(100);
  }
}

int EcrJobPrinter::ReceiptOpen(int16_t port) {
  link_.SetCurrentPort(port);
  return link_.TrasmettiStringa("1003") == 0 ? OpenFlagOf(link_.lastAnswer()) : -1;
}

bool EcrJobPrinter::AppendReceiptStamp(int16_t port, ExchangeFiles& files) {
  link_.SetCurrentPort(port);
  std::string out, error;
  const std::string path = files.PathOf(kOut, port);
  fs_.ReadFile(path, platform::kMaxDocumentBytes, &out, &error);
  ecr::HeaderContext header;
  header.rtMode = identity_.rtMode;
  header.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  std::string redt;
  header.storedRedtLine = &redt;
  header.receiptCounter = &lastCounter_;
  const bool read = ecr::WriteHeaderLines(link_, [&out](const std::string& l) { out += l + "\r\n"; }, header);
  return fs_.WriteFile(path, out, &error) && read;
}

namespace {

// Writes what a conversion leaves in the data directory, as it always has:
// "tempSL.txt", the OPFS copy and the rewritten document, "KB.txt". These
// are records for the host and the operator; the commands go on in memory.
void WriteRecords(platform::FileSystem& fs, const convert::ConvertContext& ctx, const std::string& dataPath,
                  const std::string& bytes, convert::ConversionResult& r) {
  settings::FileError error;
  std::string text;
  const std::string kb = convert::DataFile(ctx, "KB.txt");
  // An earlier job's command file must never be taken for this one's.
  fs.RemoveFile(kb);
  if (r.tempSL && !settings::WriteDocument(fs, convert::DataFile(ctx, "tempSL.txt"), *r.tempSL, false, &error))
    r.result = 1;
  if (r.opfsCopy) {
    fs.WriteFile(dataPath + ".txt", bytes, &text);
    if (!settings::WriteDocument(fs, dataPath, r.rewrittenDocument, false, &error)) r.commands.clear();
  }
  if (r.result != 0 || r.commands.empty()) return;
  if (!settings::WriteDocument(fs, kb, r.commands, false, &error)) r.result = 1;
}

}  // namespace

int16_t EcrJobPrinter::Convert(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines,
                               const std::string& bytes, bool refuseNothingToPrint, ecr::NativeDocument* doc) {
  const platform::LocalTime now = link_.clock().Now();
  const convert::ConvertContext conv{
      .dataDir = files.dataDir(), .pathSeparator = platform::PathSeparator(), .currentPort = port,
      .options = settings_.options, .vat = settings_.vat,
      .printer = {identity_.rtMode, identity_.printerSerial, identity_.taxCodeKind},
      .now = {now.year, now.month, now.day, now.hour, now.minute, now.second},
      .decimalSeparator = platform::DecimalSeparator()};
  convert::ConversionResult r = convert::ConvertDocument(lines, conv);
  for (const std::string& text : r.messages)
    if (message_) message_(text);
  if (trace_)
    for (const std::string& text : r.traceLines) trace_(ecr::CurrDateTime(now) + text);
  WriteRecords(fs_, conv, files.PathOf(kDati, port), bytes, r);
  if (r.result != 0) return ecr::kDocumentNotSent;
  if (refuseNothingToPrint && std::none_of(r.commands.begin(), r.commands.end(), PrintsSomething))
    return ecr::kDocumentNothingToPrint;
  if (r.commands.empty()) {
    // Nothing converted (an empty document, a refused invoice): reported
    // as the command file that could not be read.
    if (message_) message_("ERRORE3 = Path/File access error: " + convert::DataFile(conv, "KB.txt") + " - 75riga 3");
    return ecr::kDocumentNotSent;
  }
  doc->commands = std::move(r.commands);
  doc->facts = std::move(r.facts);
  doc->closings = std::move(r.closings);
  return ecr::kDocumentDone;
}

int16_t EcrJobPrinter::SendDocument(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines,
                                    const std::string& bytes, bool sendAsIs, ClosingWatch& closing,
                                    std::string* errorDetail) {
  link_.SetCurrentPort(port);
  ecr::NativeDocument doc;
  if (sendAsIs) {
    doc.commands = lines;
    doc.closings = convert::ClosingCommands(doc.commands);
  } else if (int16_t refused = Convert(port, files, lines, bytes, closing.refuseNothingToPrint, &doc)) {
    return refused;
  }
  // A lost closing answer, or a crash, is told from this counter: it is known
  // before every closing. Read only when unknown, so that a document's
  // commands stay the ones it always sent; a receipt open on the keys is
  // refused by the printer at the first line. A printer silent to it is not
  // waited for again line by line.
  const std::string outPath = files.PathOf(kOut, port);
  if (lastCounter_ < 0) {
    const int16_t told = link_.TrasmettiStringa("1004");
    if (told == 0) lastCounter_ = ecr::ReceiptCounterOf(link_.lastAnswer());
    if (told == ecr::kLinkNoAnswer) {
      std::string error;
      fs_.WriteFile(outPath, "", &error);
      link_.Vexocx21_ClosePort();
      return ecr::kDocumentNoAnswer;
    }
  }
  // The host finds no SR_OUT of an earlier document while this one goes out.
  if (!CreateOut(outPath)) {
    link_.Vexocx21_ClosePort();
    return ecr::kDocumentNotSent;
  }
  const ecr::TransmissionContext ctx{.rtMode = identity_.rtMode, .decimalSeparator = platform::DecimalSeparator(),
                                     .dataDir = files.dataDir(), .readAllowedDirs = settings_.readAllowedDirs,
                                     .version = {kVersionMajor, kVersionMinor, kVersionRevision},
                                     .receiptCounter = lastCounter_};
  JobEvents events(files, port, closing, paperEndWaits_);
  const ecr::TransmissionResult sent = ecr::DoSendFile(link_, fs_, doc, ctx, events);
  lastCounter_ = sent.receiptCounter;
  closing.printed = sent.printed;
  closing.answered = sent.closingAnswered;
  if (!sent.errorDetail.empty()) *errorDetail = sent.errorDetail;
  // The host reads SR_OUT once the job has ended, whatever its status.
  std::string error;
  fs_.WriteFile(outPath, sent.out, &error);
  return sent.status;
}

}  // namespace service
