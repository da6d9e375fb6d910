// Start-up after a crash or a power cut: the job journal says how far each
// port's last job went, and every job the program took gets a true answer.
#include <cstdlib>

#include "service/job_service.h"
#include "service/sha256.h"

namespace service {

namespace {
const char kE510[] = "E510: Stampa interrotta dal riavvio di Quilo1: scontrino annullato, inviare di nuovo";
}  // namespace

void JobService::RecordFor(uint64_t job, JournalStep step, const std::string& outcome) {
  if (step == JournalStep::kAnswered) ++recoveries_;
  JournalRecord r;
  r.job = job;
  r.step = step;
  r.outcome = outcome;
  std::string error;
  if (!journal_->Append(r, &error)) parts_.view.Log("Giornale dei lavori non scritto: " + error);
  if (step == JournalStep::kOutcomeWritten) SettleRecoveredKey(job, outcome);
}

void JobService::RecoverFromJournal(int16_t port, const JournalContents& contents, std::vector<std::string>* keep) {
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
    case Recovery::kNothing:
      return;
    case Recovery::kUnexplained:
      // Written while the program was not running: no receipt of ours can be
      // open, so nothing is sent to the printer.
      if (found.start && found.data) KeepInterruptedDocument(port);
      parts_.view.Log("File di scambio di " + ExchangeFileName(kStart, port).substr(9) +
                      " senza lavoro nel giornale: rimossi");
      return;
    case Recovery::kKeepAnswer:
      *keep = {kOut, kFinesco, kErr, kDati};
      answerKept_[port - 1] = true;
      return;
    case Recovery::kRewriteOutcome:
      RewriteOutcome(port, *last);
      *keep = {kOut, kFinesco, kErr, kDati};
      answerKept_[port - 1] = true;
      return;
    case Recovery::kCancelAndAnswerE510:
    case Recovery::kVerifyWithPrinter:
      if (found.start && found.data) KeepInterruptedDocument(port);
      pending_[port - 1] = last->step == JournalStep::kStarted ? Pending::kCancel : Pending::kVerify;
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

void JobService::RewriteOutcome(int16_t port, const JobSummary& job) {
  files_.currentPort = port;
  if (job.outcome == "FINESCO") {
    for (const char* stem : {kErr, kDati, kStart}) files_.VerifyExistenceAndKill(ExchangeFileName(stem, port));
    std::string error;
    parts_.fs.WriteFile(files_.PathOf(kFinesco, port), "finesco", &error);
  } else {
    files_.WriteErrText(job.outcome, port);
    files_.VerifyExistenceAndKill(ExchangeFileName(kStart, port));
  }
  RecordFor(job.job, JournalStep::kAnswered);
  parts_.view.Log("Esito del lavoro interrotto scritto di nuovo: " + job.outcome);
}

std::string JobService::FinishRecovery(int16_t port) {
  const Pending pending = pending_[port - 1];
  pending_[port - 1] = Pending::kNone;
  const JobSummary& job = interrupted_[port - 1];
  if (pending == Pending::kVerify && job.receipt_counter_before >= 0) {
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
  if (pending == Pending::kNone) return "";
  AnswerCancelled(port, job);
  return "SCONTRINO INTERROTTO ANNULLATO";
}

void JobService::AnswerClosed(int16_t port, const JobSummary& job) {
  files_.currentPort = port;
  // The stamp is in SR_OUT once the closing was answered; before that it is
  // read back from the printer.
  const bool host = answerHost_[port - 1] && files_.Exists(kStart, port);
  if (job.step != JournalStep::kClosingAnswered && host) {
    parts_.printer.OpenPort(port);
    parts_.printer.AppendReceiptStamp(port, files_);
    parts_.printer.ClosePort(port);
  }
  RecordFor(job.job, JournalStep::kOutcomeWritten, "FINESCO");
  if (host) {
    files_.SubKillErrFile();
    files_.SubKillDatiFile();
    files_.SubKillStartFile();
  }
  RecordFor(job.job, JournalStep::kAnswered);
}

void JobService::AnswerCancelled(int16_t port, const JobSummary& job) {
  parts_.printer.CancelReceipt(port);
  files_.currentPort = port;
  RecordFor(job.job, JournalStep::kOutcomeWritten, kE510);
  if (answerHost_[port - 1] && files_.Exists(kStart, port)) {
    files_.WriteErrText(kE510, port);
    files_.SubKillStartFile();
    answerKept_[port - 1] = true;
  }
  RecordFor(job.job, JournalStep::kAnswered);
}

}  // namespace service
