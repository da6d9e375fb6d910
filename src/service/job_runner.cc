// One job from the start file to FINESCO or SR_ERR.
#include "service/job_runner.h"

#include "service/outcome.h"
#include "settings/document.h"

namespace service {

namespace {
const char kE506[] = "E506: Trasmissione non avvenuta: file di input non presente";
const char kE506Folder[] = "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella";
const char kE506NotFile[] = "E506: Trasmissione non avvenuta: il file di input non \xE8 un file normale";
const char kE506TooLarge[] = "E506: Trasmissione non avvenuta: documento troppo grande";
const char kE506Unreadable[] = "E506: Trasmissione non avvenuta: file di input non leggibile: ";
const char kE506Link[] = "E506: Trasmissione non avvenuta: collegamento rifiutato: ";
}  // namespace

bool JobRunner::ReadDocument(int16_t port, JobDocument* doc) {
  const std::string path = files_.PathOf(kDati, port);
  // A link where an exchange file goes would make the answer land outside
  // the data directory.
  const std::string planted = files_.RemovePlantedLinks(port);
  if (!planted.empty()) {
    const std::string message = kE506Link + planted;
    files_.WriteErrFile(message, port);
    files_.SubKillStartFile();
    view_.ProgramStatus(port, message);
    return false;
  }
  std::string error;
  platform::ReadStatus status = platform::ReadStatus::kFailed;
  // A writer may still hold the file: read again, as many times as ever.
  for (int attempt = 0; attempt <= 10; ++attempt) {
    status = fs_.ReadFile(path, platform::kMaxDocumentBytes, &doc->bytes, &error);
    if (status != platform::ReadStatus::kBusy) break;
  }
  std::string message;
  switch (status) {
    case platform::ReadStatus::kOk:
      doc->lines = settings::SplitLines(doc->bytes);
      return true;
    case platform::ReadStatus::kMissing:
      // No job on screen: the host took its file back.
      files_.WriteErrFile(kE506, port);
      files_.SubKillStartFile();
      return false;
    case platform::ReadStatus::kNotRegular:
      message = fs_.Kind(path) == platform::FileKind::kDirectory ? kE506Folder : kE506NotFile;
      break;
    case platform::ReadStatus::kTooLarge:
      message = kE506TooLarge;
      break;
    default:
      message = kE506Unreadable + error;
      break;
  }
  files_.WriteErrFile(message, port);
  files_.SubKillStartFile();
  view_.ProgramStatus(port, message);
  return false;
}

bool JobRunner::OpenTrace() {
  const std::string stamp = platform::DateTimeStamp(clock_.Now(), '_');
  const std::string root = files_.dataDir();
  std::string dir = files_.PathOf("TRACE_" + stamp.substr(0, 6));
  if (!fs_.MakeDirectory(dir)) dir = root;
  tracePath_ = dir + files_.separator() + "TRACE_" + stamp + ".TXT";
  std::string error;
  if (!fs_.WriteFile(tracePath_, "", &error)) {
    tracePath_.clear();
    return false;
  }
  printer_.SetTraceSink([this](const std::string& line) {
    std::string error;
    fs_.AppendFile(tracePath_, line + "\r\n", false, &error);
  });
  return true;
}

void JobRunner::CloseTrace() {
  if (tracePath_.empty()) return;
  printer_.SetTraceSink(nullptr);
  tracePath_.clear();
}

int16_t JobRunner::Execute(int16_t port, const JobDocument& doc, bool asIs) {
  errorDetail_.clear();
  reachedPrinter_ = false;
  int16_t outcome = kOutcomeTimedOut;
  if (settings_.options.chbTrace) OpenTrace();
  int16_t paid = payment_ ? payment_->Request(doc.lines) : 0;
  if (paid != 0) {
    outcome = paid;
  } else {
    reachedPrinter_ = true;
    int16_t status = printer_.SendDocument(port, files_, doc.lines, doc.bytes, asIs, &errorDetail_);
    outcome = OutcomeOfTransmission(status);
    CloseTrace();
    printer_.Send("1109");
    // No early return on a failed document: a customer who has paid by card
    // gets the approval slip whatever happened to the receipt.
  }
  // After a refused payment the trace is still open here.
  CloseTrace();
  if (payment_) payment_->PrintSlip();
  return outcome;
}

void JobRunner::ShowOutcome(int16_t port, int16_t outcome) {
  view_.ProgramStatus(port, "QUILO1 TERMINATO : " + OutcomeDisplayText(outcome, errorDetail_));
  files_.currentPort = port;
  if (outcome == 0) {
    view_.PrinterMessage("");
    files_.SubKillErrFile();
    files_.SubKillDatiFile();
    files_.SubKillStartFile();
  } else {
    files_.WriteErrFile(OutcomeErrorMessage(outcome, errorDetail_), port);
    files_.SubKillStartFile();
  }
}

}  // namespace service
