// Job service: detection, dump trigger, job execution, outcome and closing.
#include "service/job_service.h"

#include "platform/folders.h"
#include "platform/system.h"
#include "service/outcome.h"

namespace service {

namespace {
const char kIdleTip[] = "Quilo1 in attesa esecuzione...";
const char kE502[] = "E502: Nessuna porta di comunicazione disponibile";
const char kE506[] = "E506: Trasmissione non avvenuta: file di input non presente";
}  // namespace

void WindowTimer::SetInterval(int32_t ms) {
  interval_ = ms;
  if (enabled_) Arm();
}

void WindowTimer::Start() {
  if (enabled_) return;
  enabled_ = true;
  Arm();
}

void WindowTimer::Stop() {
  enabled_ = false;
  if (id_) loop_.CancelTimer(id_);
  id_ = 0;
}

void WindowTimer::Arm() {
  if (id_) loop_.CancelTimer(id_);
  id_ = loop_.AddTimer(interval_, [this] {
    id_ = 0;
    if (!enabled_) return;
    Arm();
    onTick_();
  });
}

JobService::JobService(platform::EventLoop& loop, FileOps& fs, JobPrinter& printer, settings::Settings& settings,
                       Hooks hooks)
    : loop_(loop),
      fs_(fs),
      printer_(printer),
      settings_(settings),
      hooks_(std::move(hooks)),
      files_(loop, fs),
      timer21_(loop, [this] { Timer21_Timer(); }),
      watcher_(loop) {
  files_.lastErrorCode = [this] { return printer_.LastErrorCode(); };
  files_.saveSettings = [this] {
    if (hooks_.saveSettings) hooks_.saveSettings();
  };
  files_.endProgram = [this] {
    if (hooks_.endProgram) hooks_.endProgram();
  };
  watcher_.ChangeDetected = [this](int32_t kinds) { m_oWatchDir_ChangeDetected(kinds); };
}

JobService::~JobService() { CloseTrace(); }

void JobService::Show(const std::string& field, const std::string& text) {
  if (hooks_.show) hooks_.show(field + ": " + text);
}

void JobService::Pause(int64_t ms) {
  bool done = false;
  int id = loop_.AddTimer(ms, [&done] { done = true; });
  platform::RunUntil(loop_, [&done] { return done; }, -1);
  loop_.CancelTimer(id);
}

void JobService::Start(const std::string& dataDir) {
  files_.SetDataDir(dataDir);
  if (traceRoot.empty()) traceRoot = dataDir;
  jobRunning = unloading = sendAsIs = false;
  restartTick = 0;
  for (int16_t n = 1; n <= 4; ++n) {
    portAvailable[n - 1] = printer_.ProbePort(n);
    if (!portAvailable[n - 1]) {
      settings_.portEnabled[n - 1] = false;
      portBoxDisabled[n - 1] = true;
    }
  }
  for (int16_t n = 1; n <= 4; ++n) {
    if (!portAvailable[n - 1]) continue;
    static const char* const kFirst[] = {kStart, kMatr, kErr, kDati, kOut, kFinesco};
    static const char* const kOthers[] = {kMatr, kStart, kErr, kDati, kOut, kFinesco};
    for (const char* stem : n == 1 ? kFirst : kOthers) files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
  }
  for (bool& pending : bDumpConf) pending = true;
  dumpRunning = false;
  Show("tip", kIdleTip);
  timer21_.SetInterval(settings_.pollInterval);
  timer21_.Start();
}

void JobService::Timer21_Timer() {
  if (dumpRunning) return;
  timer21_.Stop();
  if (restartTick != 0) {
    restartTick = 0;
    timer21_.SetInterval(settings_.pollInterval);
    timer21_.Start();
    return;
  }
  if (windowShown && !settings_.options.OptionFAST) {
    heartbeat_ = !heartbeat_;
    Show("Text3", heartbeat_ ? "Timer ON" : "Timer on");
  }
  pollCounter = pollCounter >= 30001 ? 0 : static_cast<int16_t>(pollCounter + 1);
  txtTimer_Change();
}

void JobService::txtTimer_Change() {
  // A scan inside a running job could take a second job on another port.
  if (jobRunning || unloading) return;
  timer21_.Stop();
  int16_t n = iVerifyStartPos1();
  bool job = false;
  if (n >= 1 && n <= 4) {
    currentPort() = n;
    dataPath_ = files_.PathOf(kDati, n);
    outPath_ = files_.PathOf(kOut, n);
    if (!files_.Exists(kDati, n)) {
      files_.WriteErrFile(kE506, n);
      files_.SubKillStartFile();
    } else {
      job = true;
    }
  }
  if (job && !dumpRunning) {
    jobRunning = true;
    Show("tip", "Quilo1 in esecuzione...");
    Show("Text2", "TRASMISSIONE QUILO1 IN CORSO ..");
    int16_t outcome = Go_Execution();
    if (unloading && jobReachedPrinter_) {
      // The closing cut the printer exchange short: the host finds its files
      // as they were, to start the job again. A payment cut off before the
      // printer was reached is still reported, so the host knows no receipt
      // went out.
      jobRunning = false;
    } else {
      ShowOutcome(outcome);
    }
  }
  if (endAfterJob_) {
    finished_ = true;
    return;
  }
  if (!settings_.options.OptionFAST && !unloading) timer21_.Start();
}

int16_t JobService::iVerifyStartPos1() {
  bool anyAvailable = false;
  for (int16_t n = 1; n <= 4; ++n) {
    if (portAvailable[n - 1]) anyAvailable = true;
    if (!settings_.portEnabled[n - 1] || !portAvailable[n - 1]) continue;
    if (!files_.Exists(kMatr, n)) {
      StartDumpConf(n);
      continue;
    }
    currentPort() = n;
    if (files_.Exists(kStart, n) && files_.Exists(kDati, n)) {
      files_.VerifyExistenceAndKill(ExchangeFileName(kFinesco, n));
      files_.SubKillFileOut();
      bDumpConf[n - 1] = false;
      return n;
    }
  }
  if (!anyAvailable) {
    for (int n = 1; n <= 4; ++n) files_.WriteErrFile(kE502, n);
  }
  return 0;
}

void JobService::StartDumpConf(int16_t port) {
  if (dumpRunning || jobRunning || unloading) return;
  timer21_.Stop();
  dumpRunning = true;
  currentPort() = port;
  bDumpConf[port - 1] = true;
  std::string identification, firmware;
  int16_t result = printer_.RunDump(port, &identification, &firmware);
  Vexocx21_EvDumpConfDone(identification, result, firmware);
  dumpRunning = false;
  if (endAfterJob_) finished_ = true;
}

void JobService::Vexocx21_EvDumpConfDone(const std::string& identification, int16_t result,
                                         const std::string& firmware) {
  // A dump cut off by the closing leaves the files to the closing.
  if (unloading) return;
  int16_t port = currentPort();
  std::string dumpField = "Dump COM" + std::to_string(port);
  if (result == 0) {
    bDumpConf[port - 1] = false;
    for (int n = 1; n <= 4; ++n) {
      if (n == port) continue;
      settings_.portEnabled[n - 1] = false;
      portBoxDisabled[n - 1] = true;
    }
    files_.WriteMatrFile(identification, firmware, &settings_.options);
    files_.SubKillErrFile();
    Show("Text2", identification);
    Show(dumpField, "DUMP ESEGUITO");
  } else {
    const char* msg;
    switch (result) {
      case -9: msg = "E509: Coperchio stampante aperto e fine carta stampante"; break;
      case -8: msg = "E501: Dump non eseguito, verificare se Ecr in errore o non connesso"; break;
      case -5: msg = "E509: Coperchio stampante aperto"; break;
      case -4: msg = "E096: Fine carta scontrino, sostituire rotolo"; break;
      default: msg = "Errore generico sull'Ecr, verificare sul manuale del registratore"; break;
    }
    files_.WriteErrFile(msg, port);
    files_.SubKillStartFile();
    printer_.ClosePort(port);
    bDumpConf[port - 1] = true;
    Show(dumpField, (result == -10 ? std::string("NO RICEZIONE") : std::to_string(result)) + " : DUMP NON ESEGUITO");
  }
  dumpRunning = false;
  if (result == 0) StartDirWatch();
  restartTick = 1;
  timer21_.SetInterval(1000);
  timer21_.Start();
}

void JobService::StartDirWatch() {
  watchedDir_ = files_.dataDir();
  timer21_.Stop();
  if (!platform::DirectoryExists(watchedDir_)) return;
  Show("Text3", "PRONTO");
  watcher_.StartWatch(watchedDir_, 5, false, false);
}

void JobService::StopDirWatch() { watcher_.StopWatch(); }

void JobService::m_oWatchDir_ChangeDetected(int32_t) {
  watcher_.SuspendWatch(true);
  if (settings_.options.OptionFAST) txtTimer_Change();
  // The scan may have stopped the watch (closing); resuming is then harmless.
  watcher_.SuspendWatch(false);
}

void JobService::OptionFAST_Click() {
  settings_.options.OptionFAST = true;
  timer21_.Stop();
  Show("Text3", "PRONTO");
}

void JobService::OptionSLOW_Click() {
  settings_.options.OptionFAST = false;
  txtTimer_Change();
}

void JobService::cmdChgTimer_Click(const std::string& programDir, const std::string& typedText) {
  auto message = [this](const std::string& text) { Show("message", text); };
  if (jobRunning) {
    message("Connessione in corso, valore non accettato");
    return;
  }
  bool wasRunning = timer21_.enabled();
  timer21_.Stop();
  settings::SetTimer(programDir, typedText, false, &settings_, message);
  timer21_.SetInterval(settings_.pollInterval);
  if (wasRunning) timer21_.Start();
}

bool JobService::OpenTrace() {
  platform::LocalTime t = platform::NowLocal();
  char month[16], stamp[32];
  std::snprintf(month, sizeof month, "%04d%02d", t.year % 10000, t.month % 100);
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                t.hour % 100, t.minute % 100, t.second % 100);
  std::string dir = traceRoot + platform::PathSeparator() + "TRACE_" + month;
  if (!fs_.MakeDirectory(dir)) dir = traceRoot;
  std::string path = dir + platform::PathSeparator() + "TRACE_" + stamp + ".TXT";
  trace_ = std::fopen(path.c_str(), "wb");
  if (!trace_) return false;
  FILE* f = trace_;
  printer_.SetTraceSink([f](const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), f);
    std::fwrite("\r\n", 1, 2, f);
    std::fflush(f);
  });
  return true;
}

void JobService::CloseTrace() {
  if (!trace_) return;
  printer_.SetTraceSink(nullptr);
  std::fclose(trace_);
  trace_ = nullptr;
}

int16_t JobService::Go_Execution() {
  errorDetail.clear();
  int16_t outcome = -4;
  // The test receipt lasts one job, however it ends: the next document must
  // not go out unconverted.
  const bool asIs = sendAsIs;
  sendAsIs = false;
  jobReachedPrinter_ = false;
  if (settings_.options.chbTrace) OpenTrace();
  bool exists = false;
  fs_.Exists(dataPath_, &exists);
  if (!exists) {
    CloseTrace();
    return -100;
  }
  int16_t paid = payment_.preStep ? payment_.preStep(dataPath_) : 0;
  if (paid != 0) {
    outcome = paid;
  } else {
    jobReachedPrinter_ = true;
    int16_t status = printer_.SendFile(currentPort(), dataPath_, outPath_, asIs, &errorDetail);
    outcome = OutcomeOfTransmission(status);
    CloseTrace();
    printer_.Send("1109");
    // No early return on a failed document: a customer who has paid by card
    // gets the approval slip whatever happened to the receipt.
  }
  // After a refused payment the trace is still open here.
  CloseTrace();
  if (payment_.slip) payment_.slip();
  return outcome;
}

void JobService::ShowOutcome(int16_t outcome) {
  if (jobRunning) {
    Show("Text2", "QUILO1 TERMINATO : " + OutcomeDisplayText(outcome, errorDetail));
    if (outcome == 0) Show("Text1", "");
  }
  if (outcome == 0 && jobRunning) {
    files_.SubKillErrFile();
    files_.SubKillDatiFile();
    files_.SubKillStartFile();
    jobRunning = false;
  }
  if (outcome != 0 && jobRunning) {
    files_.WriteErrFile(OutcomeErrorMessage(outcome, errorDetail), currentPort());
    files_.SubKillStartFile();
    jobRunning = false;
  }
  restartTick = 1;
  timer21_.SetInterval(1000);
  Show("tip", kIdleTip);
}

void JobService::Unload() {
  if (unloading) return;
  StopDirWatch();
  timer21_.Stop();
  unloading = true;
  Show("tip", "");
  Show("Form1", "Chiusura programma Quilo1 in corso ...");
  Pause(1000);
  if ((!dumpRunning && !jobRunning) || printer_.CheckStatusFirst()) {
    // A dump that is being transmitted is cut off.
    if (dumpRunning) printer_.RaiseTimedOut();
    for (int16_t n = 1; n <= 4; ++n) {
      if (!portAvailable[n - 1]) continue;
      currentPort() = n;
      printer_.ClosePort(n);
      for (const char* stem : {kMatr, kStart, kErr, kOut, kFinesco})
        files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
    }
    if (hooks_.saveSettings) hooks_.saveSettings();
    finished_ = true;
  } else {
    printer_.RaiseTimedOut();
    Pause(2000);
    if (hooks_.saveSettings) hooks_.saveSettings();
    endAfterJob_ = true;
  }
}

}  // namespace service
