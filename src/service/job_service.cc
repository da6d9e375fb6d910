// The job service: start-up, dumps, jobs and the operator's actions as units
// of work on the link's queue, and the closing.
#include "service/job_service.h"

#include <algorithm>

#include "ecr/receipts.h"
#include "platform/system.h"
#include "service/pruning.h"

namespace service {

JobService::JobService(const ServiceParts& parts)
    : parts_(parts),
      files_(parts.loop, parts.fs, parts.clock, *this),
      httpFiles_(parts.loop, parts.fs, parts.clock, *this),
      detection_(parts.loop, files_, parts.settings, parts.view, *this),
      runner_(parts.fs, parts.clock, files_, parts.printer, parts.settings, parts.view, parts.payment),
      recovery_(parts_, files_, runner_, [this](uint64_t job, const std::string& outcome) {
        SettleRecoveredKey(job, outcome);
      }) {
  queue_.SetChanged([this] {
    parts_.view.Units(queue_.RunningPort(), queue_.Running(), static_cast<int>(queue_.Queued()),
                      parts_.printer.PaperEndWaits(), recovery_.count());
  });
  // A closing that had to wait for the running unit ends after it.
  // Operator's and API's units waiting do not hold a host's file job back:
  // it is looked for after each unit and goes next. Not after a file job,
  // so hosts and the console take turns.
  queue_.SetBetweenUnits([this](const std::string& finished) {
    if (endAfterUnit_) finished_ = true;
    if (finished == "job" || detection_.unloading) return;
    if (int16_t n = detection_.FindJob(true)) RunJob(n);
  });
}

JobService::~JobService() = default;

void JobService::FatalFileError() {
  parts_.host.SaveSettings();
  parts_.host.EndProgram();
}

bool JobService::PortAvailable(int16_t port) const {
  return port >= 1 && port <= 4 && detection_.ports[port - 1].available;
}

bool JobService::Served(int16_t port) const {
  return PortAvailable(port) && !detection_.ports[port - 1].dumpPending && parts_.settings.portEnabled[port - 1];
}

JournalContents JobService::OpenJournal() {
  const std::string journalPath =
      (parts_.journalDir.empty() ? parts_.programDir : parts_.journalDir) + platform::PathSeparator() + kJournalFileName;
  auto log = [this](const std::string& text) { parts_.view.Log("Giornale dei lavori" + text); };
  std::string note;
  // The journal of an older version sat among the hosts' files.
  if (MoveJournal(parts_.fs, files_.PathOf(kJournalFileName), journalPath, &note) || !note.empty()) log(": " + note);
  journal_ = std::make_unique<Journal>(parts_.fs, journalPath);
  runner_.SetJournal(journal_.get());
  const bool journalFound = parts_.fs.Kind(journalPath) != platform::FileKind::kMissing;
  JournalContents contents = journal_->Load(true);
  if (!contents.error.empty()) log(" non leggibile: " + contents.error);
  if (contents.too_large)
    log(" oltre " + std::to_string(kMaxJournalBytes >> 20) + " MB: messo da parte, ne comincia uno nuovo");
  if (!journalFound) log(" assente: ne comincia uno nuovo");
  if (contents.damaged_tail) log(": l'ultimo record era incompleto ed \xE8 stato ignorato");
  if (contents.rejected) log(": " + std::to_string(contents.rejected) + " record fuori sequenza o non validi ignorati");
  if (contents.dropped)
    log(": " + std::to_string(contents.dropped) + " record oltre il limite di " + std::to_string(kMaxJournalRecords) +
        " ignorati");
  if (!contents.compacted) log(" non compattato: " + contents.compact_error);
  return contents;
}

std::vector<JobSummary> JobService::Start(const std::string& dataDir) {
  files_.SetDataDir(dataDir);
  httpFiles_.SetDataDir(dataDir);
  httpFiles_.SetNamePrefix("HTTP_");
  settings::Settings& settings = parts_.settings;
  StatusView& view = parts_.view;
  detection_.unloading = false;
  view.SettingsShown(settings);
  for (int16_t n = 1; n <= 4; ++n) {
    PortState& p = detection_.ports[n - 1];
    p.available = parts_.printer.ProbePort(n);
    view.PortAvailable(n, p.available);
    if (!p.available) {
      settings.portEnabled[n - 1] = false;
      view.PortBox(n, false, false);
    }
  }
  JournalContents contents = OpenJournal();
  const int pruned = PruneOldRecords(parts_.fs, dataDir, platform::PathSeparator(), parts_.clock.Now(), 90);
  if (pruned > 0) view.Log("File conservati oltre 90 giorni rimossi: " + std::to_string(pruned));
  LoadKeys(contents.jobs);
  for (int16_t n = 1; n <= 4; ++n) {
    if (!PortAvailable(n)) continue;
    std::vector<std::string> keep;
    recovery_.Decide(n, contents, &keep);
    static const char* const kFirst[] = {kStart, kMatr, kErr, kDati, kOut, kFinesco};
    static const char* const kOthers[] = {kMatr, kStart, kErr, kDati, kOut, kFinesco};
    for (const char* stem : n == 1 ? kFirst : kOthers)
      if (std::find(keep.begin(), keep.end(), stem) == keep.end())
        files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
  }
  for (PortState& p : detection_.ports) p.dumpPending = true;
  // The boxes ticked at loading run their click handlers, so a served port
  // starts with the options locked; a box cleared because its port is
  // missing does not unlock the others.
  bool locked = false;
  for (int16_t n = 1; n <= 4; ++n) locked = locked || (PortAvailable(n) && settings.portEnabled[n - 1]);
  view.ConfigurationLocked(locked);
  view.Busy(false);
  view.TimerShown(!settings.options.OptionFAST);
  detection_.StartPolling();
  return std::move(contents.jobs);
}

void JobService::RunJob(int16_t port) {
  if (queue_.Waiting(port, "job") == 0) queue_.Submit(port, "job", [this, port] { Job(port); }, true);
}

void JobService::Job(int16_t port) {
  files_.currentPort = port;
  JobDocument doc;
  if (runner_.ReadDocument(port, &doc)) RunJobUnit(port, doc, false, nullptr);
}

FinishedJob JobService::RunJobUnit(int16_t port, const JobDocument& doc, bool asIs, ExchangeFiles* answerFiles) {
  parts_.view.Busy(true);
  parts_.view.ProgramStatus(port, "TRASMISSIONE QUILO1 IN CORSO ..");
  const int16_t outcome = runner_.Execute(port, doc, asIs, answerFiles);
  FinishedJob end;
  // The closing cut the printer exchange short: the host finds its files
  // as they were, to start the job again. A payment cut off before the
  // printer was reached is still reported, so the host knows no receipt
  // went out.
  if (answerFiles || !(detection_.unloading && runner_.reachedPrinter()))
    end = runner_.ShowOutcome(port, outcome, answerFiles == nullptr);
  if (answerFiles) {
    std::string error;
    parts_.fs.ReadFile(answerFiles->PathOf(kOut, port), platform::kMaxDocumentBytes, &end.out, &error);
  }
  detection_.ScanSoon();
  if (!answerFiles) parts_.view.TestAvailable(true);
  parts_.view.Busy(false);
  return end;
}

void JobService::RunDump(int16_t port) {
  if (queue_.Waiting(port, "dump") == 0) queue_.Submit(port, "dump", [this, port] { Dump(port); });
}

void JobService::Dump(int16_t port) {
  detection_.PausePolling();
  files_.currentPort = port;
  detection_.ports[port - 1].dumpPending = true;
  DumpDone(port, parts_.printer.RunDump(port, files_.dataDir()));
}

void JobService::DumpDone(int16_t port, int16_t result) {
  // A dump cut off by the closing leaves the files to the closing.
  if (detection_.unloading) return;
  settings::Settings& settings = parts_.settings;
  StatusView& view = parts_.view;
  files_.currentPort = port;
  if (result == 0) {
    detection_.ports[port - 1].dumpPending = false;
    for (int16_t n = 1; n <= 4; ++n) {
      if (n == port) continue;
      settings.portEnabled[n - 1] = false;
      view.PortBox(n, false, false);
    }
    const ecr::PrinterIdentity& printer = parts_.printer.identity();
    // An RT printer takes extended payments and no swapped discounts on returns.
    if (printer.rtMode) {
      settings.options.chbPagamentiEstesi = true;
      settings.options.chbInversioneScontiSuReso = false;
      view.OptionsChanged(settings.options, true);
    }
    // The receipt of a job that was cut off may still be open, and the next
    // customer's lines would join it: settled before the host is told the
    // printer is ready.
    const std::string notice = recovery_.Finish(port);
    files_.WriteMatrFile(printer);
    // A failed dump's SR_ERR goes; an answer start-up gave the host stays.
    if (!recovery_.TakeAnswerKept(port)) files_.SubKillErrFile();
    view.ProgramStatus(port, printer.identification);
    // The last notice stays on screen.
    if (!notice.empty()) view.ProgramStatus(port, notice);
    view.PrinterSerial(port, printer.serialField, printer.rtMode);
    view.DumpState(port, ecr::kDumpDone);
  } else {
    files_.WriteErrFile(ecr::DumpFailureMessage(result), port);
    // A job cut off by a crash keeps its start file until a dump lets it be
    // settled: answered now, the host would send again a receipt that may
    // have come out.
    if (!recovery_.Pending(port)) files_.SubKillStartFile();
    parts_.printer.ClosePort(port);
    detection_.ports[port - 1].dumpPending = true;
    view.DumpState(port, ecr::DumpFailureField(result));
  }
  if (result == 0) detection_.StartWatching();
  detection_.ScanSoon();
  detection_.ResumePolling();
}

void JobService::Unload() {
  if (detection_.unloading) return;
  detection_.Stop();
  detection_.unloading = true;
  for (const std::string& name : queue_.DropQueued()) parts_.view.Log("Chiusura: annullato in coda: " + name);
  if (parts_.payment) parts_.payment->Closing();
  parts_.view.ClosingNotice("Chiusura programma Quilo1 in corso ...");
  platform::RunUntil(parts_.loop, [] { return false; }, 1000);
  if (!queue_.Busy() || parts_.printer.CheckStatusFirst()) {
    // A dump that is being transmitted is cut off.
    if (queue_.Running() == "dump") parts_.printer.RaiseTimedOut();
    for (int16_t n = 1; n <= 4; ++n) {
      if (!PortAvailable(n)) continue;
      files_.currentPort = n;
      parts_.printer.ClosePort(n);
      for (const char* stem : {kMatr, kStart, kErr, kOut, kFinesco})
        files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
    }
    parts_.host.SaveSettings();
    finished_ = true;
  } else {
    parts_.printer.RaiseTimedOut();
    platform::RunUntil(parts_.loop, [] { return false; }, 2000);
    parts_.host.SaveSettings();
    endAfterUnit_ = true;
  }
}

}  // namespace service
