// The operator's actions from the window (or the console): port boxes,
// detection mode, timer, test receipt and "Annulla Scontrino". Those that
// talk to the printer are units of work on the link's queue.
#include "ecr/receipts.h"
#include "language/language.h"
#include "service/job_service.h"
#include "service/sha256.h"
#include "settings/document.h"

namespace service {

namespace {
const char kNoDumpYet[] = "DUMP NON ANCORA ESEGUITO";
const char kQueued[] = "Stampante occupata: in coda";
const char kNoPort[] = "E506: Trasmissione non avvenuta: nessuna stampante pronta sulla porta";

// A document refused unsent: its answer's code and line.
FinishedJob Refused(int16_t port, const std::string& code, const std::string& text) {
  FinishedJob end;
  end.port = port;
  end.code = code;
  end.text = end.errorLine = text;
  return end;
}
}  // namespace

ActionResult JobService::SubmitAction(int16_t port, const std::string& name, PrinterQueue::Unit unit) {
  const bool waits = queue_.Busy();
  if (waits) parts_.view.ProgramStatus(port, kQueued);
  queue_.Submit(port, name, std::move(unit));
  return {waits ? ActionResult::kQueued : ActionResult::kDone, ""};
}

int16_t JobService::ServedPort(bool highest) const {
  for (int16_t i = 0; i < 4; ++i) {
    int16_t n = highest ? 4 - i : i + 1;
    if (Served(n)) return n;
  }
  return 0;
}

ActionResult JobService::SetPortEnabled(int16_t port, bool ticked) {
  const std::string refusal = "Porta COM" + std::to_string(port) + " non disponibile";
  if (port < 1 || port > 4) return ActionResult::Refused(refusal);
  const PortStatus& shown = parts_.view.state().ports[port - 1];
  if (!shown.available || !shown.enabled) return ActionResult::Refused(refusal);
  parts_.settings.portEnabled[port - 1] = ticked;
  parts_.view.PortBox(port, ticked, true);
  // Only the clicked box counts: clearing one stops the polling even while
  // another stays ticked.
  parts_.view.ConfigurationLocked(ticked);
  if (ticked) {
    detection_.ResumePolling();
  } else {
    detection_.PausePolling();
  }
  return {};
}

ActionResult JobService::SetFastDetection(bool fast) {
  // A click on the mode already chosen does nothing.
  if (fast == parts_.settings.options.OptionFAST) return {};
  parts_.settings.options.OptionFAST = fast;
  if (fast) {
    detection_.PausePolling();
    parts_.view.TimerShown(false);
    parts_.view.DetectionStatus("PRONTO");
  } else {
    detection_.Scan();
  }
  parts_.view.SettingsShown(parts_.settings);
  return {};
}

ActionResult JobService::SetTimerValue(const std::string& typedText) {
  std::string refusal;
  auto message = [this, &refusal](const std::string& text) {
    parts_.view.Message(text);
    refusal += (refusal.empty() ? "" : "\n") + text;
  };
  if (queue_.Busy()) {
    message("Connessione in corso, valore non accettato");
  } else {
    bool wasRunning = detection_.Polling();
    detection_.PausePolling();
    settings::SetTimer(parts_.fs, parts_.programDir, typedText, false, &parts_.settings, message);
    detection_.SetInterval(parts_.settings.pollInterval);
    if (wasRunning) detection_.ResumePolling();
  }
  // The interval field shows the value in force again, taken or not.
  parts_.view.SettingsShown(parts_.settings, Shown::kTimerText);
  return refusal.empty() ? ActionResult{} : ActionResult::Refused(refusal);
}

ActionResult JobService::SetOption(bool settings::Options::*option, bool value) {
  parts_.settings.options.*option = value;
  parts_.view.SettingsShown(parts_.settings);
  return {};
}

ActionResult JobService::ViewShown(bool shown) {
  detection_.heartbeat = shown;
  if (!shown) return {};
  for (int16_t n = 1; n <= 4; ++n) {
    bool pending = !parts_.settings.portEnabled[n - 1];
    detection_.ports[n - 1].dumpPending = pending;
    parts_.view.DumpState(n, pending ? "DUMP NON ESEGUITO" : ecr::kDumpDone);
  }
  return {};
}

ActionResult JobService::TestReceipt() {
  if (detection_.unloading) return {};
  const int16_t target = ServedPort(true);
  if (target == 0) {
    parts_.view.PrinterMessage(kNoDumpYet);
    return ActionResult::Refused(kNoDumpYet);
  }
  parts_.view.TestAvailable(false);
  return SubmitAction(target, "test", [this, target] {
    // A host's job waiting on the port goes first.
    if (files_.Exists(kStart, target)) Job(target);
    // From memory, answered on screen alone: the port's SR_DATI may be a
    // host's document whose SR_START is yet to come.
    const settings::Options& o = parts_.settings.options;
    std::string document;
    for (const std::string& line : ecr::TestReceiptCommands(o.CheckStampaLogo, o.chbNoInviaApCassetto))
      document += line + "\r\n";
    parts_.view.Log("Esegui Test: " + RunFromMemory(target, document, true).text);
    parts_.view.TestAvailable(true);
  });
}

ActionResult JobService::CancelReceipt() {
  if (detection_.unloading) return {};
  const int16_t port = ServedPort(false);
  if (port == 0) {
    parts_.view.PrinterMessage(kNoDumpYet);
    return ActionResult::Refused(kNoDumpYet);
  }
  return SubmitAction(port, "annullo", [this, port] {
    parts_.printer.CancelReceipt(port);
  });
}

void JobService::SubmitDocument(int16_t port, const std::string& bytes, std::function<void(const FinishedJob&)> done,
                                const std::string& key) {
  const std::string sha256 = key.empty() ? "" : Sha256Hex(bytes);
  if (auto it = keys_.find(key); it != keys_.end()) {
    // A retry never prints: it gets the first request's answer.
    if (it->second.sha256 != sha256) {
      FinishedJob end =
          Refused(port, "conflict", "Idempotency-Key gi\xE0 usata per un altro documento: nulla stampato");
      end.keyConflict = true;
      done(end);
    } else if (it->second.answered) {
      done(it->second.answer);
    } else {
      it->second.waiting.push_back(std::move(done));
    }
    return;
  }
  auto served = [this](int16_t n) { return !detection_.unloading && Served(n); };
  auto refusal = [](int16_t n) { return Refused(n, OutcomeCode(0, kNoPort), kNoPort); };
  if (port == 0) port = ServedPort(false);
  if (!served(port)) {
    done(refusal(port));
    return;
  }
  if (queue_.Waiting(port, "documento") >= kMaxWaitingDocuments) {
    FinishedJob end = Refused(port, "busy",
                              "Stampante occupata: " + std::to_string(kMaxWaitingDocuments) +
                                  " documenti in coda sulla porta " + std::to_string(port) +
                                  ", documento non accettato: riprovare fra qualche secondo");
    end.queueFull = true;
    done(end);
    return;
  }
  if (!key.empty()) keys_[key].sha256 = sha256;
  SubmitAction(port, "documento", [this, port, bytes, done, served, refusal, key] {
    // The port may have gone while the document waited: refused unsent, not
    // a job, and the key is free again for a later try.
    if (!served(port)) {
      const FinishedJob end = refusal(port);
      std::vector<std::function<void(const FinishedJob&)>> waiting;
      if (auto it = keys_.find(key); it != keys_.end()) {
        waiting = std::move(it->second.waiting);
        keys_.erase(it);
      }
      done(end);
      for (auto& w : waiting) w(end);
      return;
    }
    FinishedJob end = RunFromMemory(port, bytes, false, key);
    if (key.empty()) {
      done(end);
    } else {
      SettleKey(key, end);
      // The recovery may have settled it on a restart: the journal's answer.
      done(keys_.count(key) ? keys_[key].answer : end);
    }
  });
}

void JobService::Answer(KeyedJob& k, const FinishedJob& end) {
  k.answered = true;
  k.answer = end;
  auto waiting = std::move(k.waiting);
  k.waiting.clear();
  for (auto& w : waiting) w(end);
}

void JobService::SettleKey(const std::string& key, const FinishedJob& end) {
  auto it = keys_.find(key);
  if (it == keys_.end() || it->second.answered) return;
  KeyedJob& k = it->second;
  if (!k.job) k.job = runner_.job();
  if (journal_ && k.job) {
    // SR_OUT is kept up to far below a record's limit for a receipt's stamp;
    // a larger one is answered from the outcome after a restart.
    runner_.Record({.step = JournalStep::kIdempotencyKey,
                    .job = k.job,
                    .document_sha256 = k.sha256,
                    .idempotency_key = key,
                    .key_answered = true,
                    .answer_ok = end.ok,
                    .answer_closed = end.receiptClosed,
                    .answer_code = end.code,
                    .answer_line = end.errorLine,
                    .answer_out = end.out.size() <= 16 * 1024 ? end.out : ""});
  }
  // Keys of the last kKeepJobs jobs, as the journal keeps them.
  const uint64_t next = journal_ ? journal_->NextJobId() : 0;
  std::erase_if(keys_, [&](const auto& e) { return e.second.answered && e.second.job + kKeepJobs < next; });
  Answer(k, end);
}

namespace {

// What a keyed job answered, from the journal: the answer recorded with its
// key, else its outcome (the job was cut off, and the recovery decided).
FinishedJob AnswerOf(const JobSummary& job) {
  FinishedJob end;
  end.port = job.port;
  end.receiptNumber = job.receipt_number;
  end.receiptDate = job.receipt_date;
  end.receiptTime = job.receipt_time;
  if (job.key_answered) {
    end.ok = job.answer_ok;
    end.receiptClosed = job.answer_closed;
    end.code = job.answer_code;
    end.errorLine = end.text = job.answer_line;
    end.out = job.answer_out;
    if (end.ok) end.text = "TUTTO OK";
    return end;
  }
  end.ok = job.outcome == "FINESCO";
  end.receiptClosed = end.ok;
  end.code = end.ok ? "ok" : OutcomeCode(0, job.outcome);
  end.text = end.ok ? "TUTTO OK" : job.outcome;
  if (!end.ok) end.errorLine = job.outcome;
  return end;
}

}  // namespace

void JobService::LoadKeys(const std::vector<JobSummary>& jobs) {
  keys_.clear();
  for (const JobSummary& job : jobs) {
    if (job.idempotency_key.empty()) continue;
    KeyedJob& k = keys_[job.idempotency_key] = KeyedJob{};
    k.sha256 = job.document_sha256;
    k.job = job.job;
    // Still without an outcome: the recovery of its port answers it.
    k.journal = job;
    if (job.key_answered || job.step >= JournalStep::kOutcomeWritten) {
      k.answered = true;
      k.answer = AnswerOf(job);
    }
  }
}

void JobService::SettleRecoveredKey(uint64_t job, const std::string& outcome) {
  for (auto& [key, k] : keys_) {
    if (k.answered || k.job != job) continue;
    k.journal.step = JournalStep::kOutcomeWritten;
    k.journal.outcome = outcome;
    Answer(k, AnswerOf(k.journal));
    return;
  }
}

FinishedJob JobService::RunFromMemory(int16_t port, const std::string& bytes, bool asIs, const std::string& key) {
  for (const char* stem : {kOut, kErr, kDati}) parts_.fs.RemoveFile(httpFiles_.PathOf(stem, port));
  JobDocument doc;
  doc.bytes = bytes;
  doc.lines = language::SplitLines(bytes);
  doc.idempotencyKey = key;
  doc.fromApi = !asIs;
  return RunJobUnit(port, doc, asIs, &httpFiles_);
}

}  // namespace service
