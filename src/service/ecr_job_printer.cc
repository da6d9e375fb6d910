// The real printer side of the job service: the conversion in memory, its
// records in the data directory, the link, the dump and the transmission.
#include "service/ecr_job_printer.h"

#include <algorithm>
#include <cstdlib>

#include "convert/converter.h"
#include "ecr/registers.h"
#include "ecr/transmission.h"
#include "platform/system.h"
#include "service/exchange_files.h"
#include "service/version.h"
#include "settings/document.h"

namespace service {

namespace {

bool IsReceiptClosing(const std::string& command) {
  return command.compare(0, 4, "3011") == 0 || command.compare(0, 4, "1010") == 0;
}

// The lines that print inside a receipt (and may open one); the end of the
// document, the logo, the subtotal request and the cancelling do not.
bool IsReceiptLine(const std::string& command) {
  if (command.compare(0, 4, "7101") == 0 || command.compare(0, 4, "7102") == 0 || command.compare(0, 4, "7114") == 0)
    return true;
  return !command.empty() && command[0] == '3' && command.compare(0, 4, "3013") != 0 &&
         command.compare(0, 4, "3017") != 0 && command.compare(0, 4, "3003") != 0 &&
         command.compare(0, 5, "30018") != 0;
}

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

// The receipt number of a "1004" answer, -1 when it has none.
int CounterOf(const std::string& answer) {
  if (answer.size() < 8 || answer.compare(0, 4, "1004") != 0) return -1;
  for (size_t i = 4; i < 8; ++i)
    if (answer[i] < '0' || answer[i] > '9') return -1;
  return std::atoi(answer.substr(4, 4).c_str());
}

// The document as the transmission asks for it, attempt after attempt: it
// was converted once, so every attempt sends the same commands.
class PreparedDocument : public ecr::DocumentSource {
 public:
  explicit PreparedDocument(ecr::NativeDocument doc) : doc_(std::move(doc)) {}
  bool Prepare(ecr::NativeDocument* doc) override {
    *doc = doc_;
    return true;
  }

 private:
  ecr::NativeDocument doc_;
};

}  // namespace

EcrJobPrinter::EcrJobPrinter(ecr::EcrLink& link, platform::FileSystem& fs, const settings::Settings& settings,
                             std::function<void(const std::string&)> message)
    : link_(link), fs_(fs), settings_(settings), message_(std::move(message)) {
  link_.SetCommandHooks([this](const std::string& c, int16_t) { BeforeCommand(c); },
                        [this](const std::string& c, int16_t r) { AfterCommand(c, r); });
}

EcrJobPrinter::~EcrJobPrinter() { link_.SetCommandHooks(nullptr, nullptr); }

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

void EcrJobPrinter::BeforeCommand(const std::string& command) {
  // The counter before the closing is the one the printer last told (read
  // before the document when it was unknown): no frame of our own goes into
  // the receipt, so its commands stay as they are.
  if (!closing_ || closing_->sent || !IsReceiptClosing(command)) return;
  closing_->sent = true;
  closing_->counterBefore = lastCounter_;
  if (closing_->aboutToClose) closing_->aboutToClose(lastCounter_);
}

void EcrJobPrinter::AfterCommand(const std::string& command, int16_t result) {
  // A refused line did nothing; a lost answer may hide a line carried out.
  if (closing_ && (result == 0 || result == ecr::kLinkNoAnswer) && IsReceiptLine(command)) closing_->printed = true;
  if (closing_ && result == 0 && IsReceiptClosing(command)) closing_->answered = true;
  if (command == "1004" && result == 0) {
    lastCounter_ = CounterOf(link_.lastAnswer());
  } else if (IsReceiptClosing(command) || command.compare(0, 4, "2002") == 0) {
    // A receipt closed or the day's counters reset: the number is no longer known.
    lastCounter_ = -1;
  }
}

int EcrJobPrinter::ReadReceiptCounter(int16_t port) {
  link_.SetCurrentPort(port);
  return link_.TrasmettiStringa("1004") == 0 ? CounterOf(link_.lastAnswer()) : -1;
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

int16_t EcrJobPrinter::SendDocument(int16_t port, ExchangeFiles& files, const std::vector<std::string>& lines,
                                    const std::string& bytes, bool sendAsIs, ClosingWatch& closing,
                                    std::string* errorDetail) {
  link_.SetCurrentPort(port);
  const platform::LocalTime now = link_.clock().Now();
  ecr::NativeDocument doc;
  if (sendAsIs) {
    doc.commands = lines;
  } else {
    convert::ConvertContext conv;
    conv.dataDir = files.dataDir();
    conv.pathSeparator = platform::PathSeparator();
    conv.currentPort = port;
    conv.options = settings_.options;
    conv.vat = settings_.vat;
    conv.printer.rtMode = identity_.rtMode;
    conv.printer.printerSerial = identity_.printerSerial;
    conv.printer.taxCodeKind = identity_.taxCodeKind;
    conv.now = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    conv.decimalSeparator = platform::DecimalSeparator();
    convert::ConversionResult r = convert::ConvertDocument(lines, conv);
    for (const std::string& text : r.messages)
      if (message_) message_(text);
    if (trace_)
      for (const std::string& text : r.traceLines) trace_(ecr::CurrDateTime(now) + text);
    WriteRecords(fs_, conv, files.PathOf(kDati, port), bytes, r);
    if (r.result != 0) return ecr::kDocumentNotSent;
    if (closing.refuseNothingToPrint && std::none_of(r.commands.begin(), r.commands.end(), PrintsSomething))
      return ecr::kDocumentNothingToPrint;
    if (r.commands.empty()) {
      // Nothing converted (an empty document, a refused invoice): reported
      // as the command file that could not be read.
      if (message_) message_("ERRORE3 = Path/File access error: " + convert::DataFile(conv, "KB.txt") + " - 75riga 3");
      return ecr::kDocumentNotSent;
    }
    doc.commands = std::move(r.commands);
    doc.facts = std::move(r.facts);
  }
  PreparedDocument document(std::move(doc));
  // A lost closing answer, or a crash, is told from this counter: it is known
  // before every closing. Read only when unknown, so that a document's
  // commands stay the ones it always sent; a receipt open on the keys is
  // refused by the printer at the first line. A printer silent to it is not
  // waited for again line by line.
  if (lastCounter_ < 0 && link_.TrasmettiStringa("1004") == ecr::kLinkNoAnswer) {
    std::string error;
    fs_.WriteFile(files.PathOf(kOut, port), "", &error);
    link_.Vexocx21_ClosePort();
    return ecr::kDocumentNoAnswer;
  }

  ecr::TransmissionContext ctx;
  ctx.rtMode = identity_.rtMode;
  ctx.decimalSeparator = platform::DecimalSeparator();
  ctx.outPath = files.PathOf(kOut, port);
  ctx.dataDir = files.dataDir();
  ctx.readAllowedDirs = settings_.readAllowedDirs;
  ctx.version = {kVersionMajor, kVersionMinor, kVersionRevision};
  // The transmission writes SR_ERR during a job only to say it waits for paper.
  ctx.writeErrFile = [this, &files, port](const std::string& text) {
    ++paperEndWaits_;
    files.WriteErrFile(text, port);
  };
  ctx.message = message_;
  closing_ = &closing;
  const int16_t status = ecr::DoSendFile(link_, fs_, document, ctx, errorDetail);
  closing_ = nullptr;
  return status;
}

}  // namespace service
