// Start-up after a crash or a power cut: the job journal says how far each
// port's last job went, and every job the program took gets a true answer.
#include "service/recovery.h"

#include <cstdio>
#include <random>

#include "platform/system.h"
#include "service/sha256.h"

namespace service {

namespace {
const char kE510[] = "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo";
}  // namespace

void Recovery::Record(uint64_t job, JournalStep step, const std::string& outcome) {
  if (step == JournalStep::kAnswered) ++count_;
  runner_.Record({.step = step, .job = job, .outcome = outcome});
  if (step == JournalStep::kOutcomeWritten && outcome_) outcome_(job, outcome);
}

void Recovery::KeepInterruptedDocument(int16_t port) {
  std::string bytes, error;
  bool copied = false;
  std::string name;
  if (parts_.fs.ReadFile(files_.PathOf(kDati, port), platform::kMaxDocumentBytes, &bytes, &error) ==
      platform::ReadStatus::kOk) {
    // A name nobody can guess and plant a link at beforehand.
    std::random_device random;
    const std::string base =
        ExchangeFileName(kDati, port) + ".interrupted-" + platform::DateTimeStamp(parts_.clock.Now(), '-');
    for (int k = 0; k < 8 && !copied; ++k) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "-%06x", static_cast<unsigned>(random()) & 0xffffffu);
      name = base + suffix;
      copied = parts_.fs.CreateFile(files_.PathOf(name), bytes, &error);
    }
  }
  parts_.view.ProgramStatus(port, copied ? "DOCUMENTO INTERROTTO, COPIA IN " + name
                                         : "DOCUMENTO INTERROTTO, COPIA NON RIUSCITA: " + ExchangeFileName(kDati, port));
}

void Recovery::Decide(int16_t port, const JournalContents& contents, std::vector<std::string>* keep) {
  const JobSummary* last = nullptr;
  for (const JobSummary& job : contents.jobs)
    if (job.port == port) last = &job;
  ExchangeFilesFound found;
  found.start = files_.Exists(kStart, port);
  found.data = files_.Exists(kDati, port);
  found.finesco = files_.Exists(kFinesco, port);
  found.error = files_.Exists(kErr, port);
  if (found.data && last) {
    std::string bytes, error;
    if (parts_.fs.ReadFile(files_.PathOf(kDati, port), platform::kMaxDocumentBytes, &bytes, &error) ==
        platform::ReadStatus::kOk)
      found.data_is_last_job = Sha256Hex(bytes) == last->document_sha256;
  }
  switch (DecideRecovery(last, found)) {
    case RecoveryCase::kNothing:
      return;
    case RecoveryCase::kUnexplained:
      // Written while the program was not running: no receipt of ours can be
      // open, so nothing is sent to the printer.
      if (found.start && found.data) KeepInterruptedDocument(port);
      parts_.view.Log("File di scambio di " + ExchangeFileName(kStart, port).substr(9) +
                      " senza lavoro nel giornale: rimossi");
      return;
    case RecoveryCase::kRewriteOutcome:
      RewriteOutcome(port, *last);
      [[fallthrough]];
    case RecoveryCase::kKeepAnswer:
      *keep = {kOut, kFinesco, kErr, kDati};
      answerKept_[port - 1] = true;
      return;
    case RecoveryCase::kCancelAndAnswerE510:
    case RecoveryCase::kVerifyWithPrinter:
      if (found.start && found.data) KeepInterruptedDocument(port);
      pending_[port - 1] = last->step == JournalStep::kStarted ? Step::kCancel : Step::kVerify;
      interrupted_[port - 1] = *last;
      // A document that is not the job's (the job came over the console, or
      // the host wrote another meanwhile) is not answered for it: its files
      // go as files written while the program was down do.
      answerHost_[port - 1] = !found.data || found.data_is_last_job;
      if (!answerHost_[port - 1]) {
        parts_.view.Log("File di scambio di " + ExchangeFileName(kStart, port).substr(9) +
                        " senza lavoro nel giornale: rimossi");
        return;
      }
      // The host's files wait for the answer, given once the printer is identified.
      *keep = {kStart, kDati, kOut};
      return;
  }
}

void Recovery::RewriteOutcome(int16_t port, const JobSummary& job) {
  files_.currentPort = port;
  if (job.outcome == "FINESCO") {
    for (const char* stem : {kErr, kDati, kStart}) files_.VerifyExistenceAndKill(ExchangeFileName(stem, port));
    std::string error;
    parts_.fs.WriteFile(files_.PathOf(kFinesco, port), "finesco", &error);
  } else {
    files_.WriteErrText(job.outcome, port);
    files_.VerifyExistenceAndKill(ExchangeFileName(kStart, port));
  }
  Record(job.job, JournalStep::kAnswered);
  parts_.view.Log("Esito del lavoro interrotto scritto di nuovo: " + job.outcome);
}

std::string Recovery::Finish(int16_t port) {
  const Step pending = pending_[port - 1];
  pending_[port - 1] = Step::kNone;
  const JobSummary& job = interrupted_[port - 1];
  if (pending == Step::kVerify && job.receipt_counter_before >= 0) {
    parts_.printer.OpenPort(port);
    const int counter = parts_.printer.ReadReceiptCounter(port);
    // The counter alone would take a receipt of the keys for ours: ours is
    // closed only when it is not still open.
    const bool moved = counter >= 0 && counter != job.receipt_counter_before;
    const bool open = moved && parts_.printer.ReceiptOpen(port) == 1;
    parts_.printer.ClosePort(port);
    if (moved && !open) {
      AnswerClosed(port, job);
      return "SCONTRINO INTERROTTO GI\xC0 CHIUSO: FINESCO";
    }
  }
  if (pending == Step::kNone) return "";
  AnswerCancelled(port, job);
  return "SCONTRINO INTERROTTO ANNULLATO";
}

void Recovery::AnswerClosed(int16_t port, const JobSummary& job) {
  files_.currentPort = port;
  // The stamp is in SR_OUT once the closing was answered; before that it is
  // read back from the printer.
  const bool host = answerHost_[port - 1] && files_.Exists(kStart, port);
  if (job.step != JournalStep::kClosingAnswered && host) {
    parts_.printer.OpenPort(port);
    parts_.printer.AppendReceiptStamp(port, files_);
    parts_.printer.ClosePort(port);
  }
  Record(job.job, JournalStep::kOutcomeWritten, "FINESCO");
  if (host) {
    files_.SubKillErrFile();
    files_.SubKillDatiFile();
    files_.SubKillStartFile();
  }
  Record(job.job, JournalStep::kAnswered);
}

void Recovery::AnswerCancelled(int16_t port, const JobSummary& job) {
  parts_.printer.CancelReceipt(port);
  files_.currentPort = port;
  Record(job.job, JournalStep::kOutcomeWritten, kE510);
  if (answerHost_[port - 1] && files_.Exists(kStart, port)) {
    files_.WriteErrText(kE510, port);
    files_.SubKillStartFile();
    answerKept_[port - 1] = true;
  }
  Record(job.job, JournalStep::kAnswered);
}

}  // namespace service
