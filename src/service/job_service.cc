// Job service: detection, dump trigger, job execution, outcome and closing.
#include "service/job_service.h"

#include <vector>

#include "ecr/dump.h"
#include "platform/folders.h"
#include "platform/system.h"
#include "service/outcome.h"
#include "settings/document.h"

namespace service {

namespace {

// YYYYMMDD, `sep`, hhmmss: the stamp of trace files and of kept documents.
std::string DateTimeStamp(const platform::LocalTime& t, char sep) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%c%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100, sep,
                t.hour % 100, t.minute % 100, t.second % 100);
  return stamp;
}
const char kIdleTip[] = "Quilo1 in attesa esecuzione...";
const char kBusyTip[] = "Quilo1 in esecuzione...";
const char kNoDumpYet[] = "DUMP NON ANCORA ESEGUITO";
const char kE502[] = "E502: Nessuna porta di comunicazione disponibile";
const char kE506[] = "E506: Trasmissione non avvenuta: file di input non presente";
const char kE506Folder[] = "E506: Trasmissione non avvenuta: il file di input \xE8 una cartella";
const char kE506Unreadable[] = "E506: Trasmissione non avvenuta: file di input non leggibile: ";
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

JobService::JobService(platform::EventLoop& loop, FileOps& fs, platform::FileSystem& disk, JobPrinter& printer,
                       settings::Settings& settings, StatusView& view, ProgramHost& host, PaymentStep* payment,
                       std::string programDir)
    : loop_(loop),
      fs_(fs),
      disk_(disk),
      printer_(printer),
      settings_(settings),
      view_(view),
      host_(host),
      payment_(payment),
      programDir_(std::move(programDir)),
      files_(loop, fs, *this),
      timer21_(loop, [this] { Timer21_Timer(); }),
      watcher_(loop) {
  watcher_.ChangeDetected = [this](int32_t) { m_oWatchDir_ChangeDetected(); };
}

JobService::~JobService() { CloseTrace(); }

void JobService::FatalFileError() {
  host_.SaveSettings();
  host_.EndProgram();
}

void JobService::Pause(int64_t ms) {
  bool done = false;
  int id = loop_.AddTimer(ms, [&done] { done = true; });
  platform::RunUntil(loop_, [&done] { return done; }, -1);
  loop_.CancelTimer(id);
}

bool JobService::PortAvailable(int16_t port) const { return port >= 1 && port <= 4 && portAvailable_[port - 1]; }

void JobService::Start(const std::string& dataDir) {
  files_.SetDataDir(dataDir);
  jobRunning_ = unloading_ = sendAsIs_ = false;
  restartTick_ = 0;
  for (int16_t n = 1; n <= 4; ++n) {
    portAvailable_[n - 1] = printer_.ProbePort(n);
    view_.PortAvailable(n, portAvailable_[n - 1]);
    if (!portAvailable_[n - 1]) {
      settings_.portEnabled[n - 1] = false;
      view_.PortBox(n, false, false);
    }
  }
  for (int16_t n = 1; n <= 4; ++n) {
    if (!portAvailable_[n - 1]) continue;
    if (files_.Exists(kStart, n) && files_.Exists(kDati, n)) KeepInterruptedDocument(n);
    static const char* const kFirst[] = {kStart, kMatr, kErr, kDati, kOut, kFinesco};
    static const char* const kOthers[] = {kMatr, kStart, kErr, kDati, kOut, kFinesco};
    for (const char* stem : n == 1 ? kFirst : kOthers) files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
  }
  for (bool& pending : bDumpConf_) pending = true;
  dumpRunning_ = false;
  // The boxes ticked at loading run their click handlers, so a served port
  // starts with the options locked; a box cleared because its port is
  // missing does not unlock the others.
  bool locked = false;
  for (int16_t n = 1; n <= 4; ++n) locked = locked || (portAvailable_[n - 1] && settings_.portEnabled[n - 1]);
  view_.ConfigurationLocked(locked);
  view_.Busy(false, kIdleTip);
  view_.TimerControls(!settings_.options.OptionFAST, settings_.timerText);
  timer21_.SetInterval(settings_.pollInterval);
  timer21_.Start();
}

void JobService::KeepInterruptedDocument(int16_t port) {
  interrupted_[port - 1] = true;
  const std::string base = ExchangeFileName(kDati, port) + ".interrupted-" + DateTimeStamp(platform::NowLocal(), '-');
  std::string name = base;
  bool copied = false;
  for (int k = 2; k <= 99 && !(copied = fs_.Copy(files_.PathOf(kDati, port), files_.PathOf(name))); ++k) {
    bool taken = false;
    fs_.Exists(files_.PathOf(name), &taken);
    if (!taken) break;  // the copy itself failed, not the name
    name = base + "-" + std::to_string(k);
  }
  view_.ProgramStatus(port, copied ? "DOCUMENTO INTERROTTO, COPIA IN " + name
                                   : "DOCUMENTO INTERROTTO, COPIA NON RIUSCITA: " + ExchangeFileName(kDati, port));
}

void JobService::Timer21_Timer() {
  if (dumpRunning_) return;
  timer21_.Stop();
  if (restartTick_ != 0) {
    restartTick_ = 0;
    timer21_.SetInterval(settings_.pollInterval);
    timer21_.Start();
    return;
  }
  if (windowShown_ && !settings_.options.OptionFAST) {
    heartbeat_ = !heartbeat_;
    view_.DetectionStatus(heartbeat_ ? "Timer ON" : "Timer on");
  }
  txtTimer_Change();
}

void JobService::txtTimer_Change() {
  // A scan inside a running job could take a second job on another port.
  if (jobRunning_ || unloading_) return;
  timer21_.Stop();
  int16_t n = iVerifyStartPos1();
  bool job = false;
  if (n >= 1 && n <= 4) {
    files_.currentPort = n;
    dataPath_ = files_.PathOf(kDati, n);
    outPath_ = files_.PathOf(kOut, n);
    if (RefuseUnreadableDocument(n)) {
      // Ended with its SR_ERR.
    } else if (!files_.Exists(kDati, n)) {
      files_.WriteErrFile(kE506, n);
      files_.SubKillStartFile();
    } else {
      job = true;
    }
  }
  if (job && !dumpRunning_) {
    jobRunning_ = true;
    view_.Busy(true, kBusyTip);
    view_.ProgramStatus(n, "TRASMISSIONE QUILO1 IN CORSO ..");
    int16_t outcome = Go_Execution();
    if (unloading_ && jobReachedPrinter_) {
      // The closing cut the printer exchange short: the host finds its files
      // as they were, to start the job again. A payment cut off before the
      // printer was reached is still reported, so the host knows no receipt
      // went out.
      jobRunning_ = false;
    } else {
      ShowOutcome(outcome);
    }
  }
  if (endAfterJob_) {
    finished_ = true;
    return;
  }
  if (!settings_.options.OptionFAST && !unloading_) {
    view_.TimerControls(true, settings_.timerText);
    timer21_.Start();
  }
}

int16_t JobService::iVerifyStartPos1() {
  bool anyAvailable = false;
  for (int16_t n = 1; n <= 4; ++n) {
    if (portAvailable_[n - 1]) anyAvailable = true;
    if (!settings_.portEnabled[n - 1] || !portAvailable_[n - 1]) continue;
    if (!files_.Exists(kMatr, n)) {
      StartDumpConf(n);
      continue;
    }
    files_.currentPort = n;
    // A folder in the data file's place is a job too: it must be answered.
    if (files_.Exists(kStart, n) && (files_.Exists(kDati, n) || platform::DirectoryExists(files_.PathOf(kDati, n)))) {
      files_.VerifyExistenceAndKill(ExchangeFileName(kFinesco, n));
      files_.SubKillFileOut();
      bDumpConf_[n - 1] = false;
      return n;
    }
  }
  if (!anyAvailable) {
    for (int n = 1; n <= 4; ++n) files_.WriteErrFile(kE502, n);
  }
  return 0;
}

bool JobService::RefuseUnreadableDocument(int16_t port) {
  const std::string path = files_.PathOf(kDati, port);
  std::string message;
  if (platform::DirectoryExists(path)) {
    message = kE506Folder;
  } else {
    bool exists = false;
    fs_.Exists(path, &exists);
    if (!exists) return false;
    // Read as the job will, with the same retries for a file still locked
    // by its writer.
    std::vector<std::string> lines;
    settings::FileError error;
    if (settings::ReadDocument(disk_, path, &lines, &error)) return false;
    message = kE506Unreadable + error.description;
  }
  files_.WriteErrFile(message, port);
  files_.SubKillStartFile();
  view_.ProgramStatus(port, message);
  return true;
}

void JobService::StartDumpConf(int16_t port) {
  if (dumpRunning_ || jobRunning_ || unloading_) return;
  timer21_.Stop();
  dumpRunning_ = true;
  files_.currentPort = port;
  bDumpConf_[port - 1] = true;
  DumpDone(printer_.RunDump(port, files_.dataDir()));
  dumpRunning_ = false;
  if (endAfterJob_) finished_ = true;
}

void JobService::DumpDone(int16_t result) {
  // A dump cut off by the closing leaves the files to the closing.
  if (unloading_) return;
  int16_t port = files_.currentPort;
  if (result == 0) {
    bDumpConf_[port - 1] = false;
    for (int16_t n = 1; n <= 4; ++n) {
      if (n == port) continue;
      settings_.portEnabled[n - 1] = false;
      view_.PortBox(n, false, false);
    }
    const ecr::PrinterIdentity& printer = printer_.identity();
    // An RT printer takes extended payments and no swapped discounts on returns.
    if (printer.rtMode) {
      settings_.options.chbPagamentiEstesi = true;
      settings_.options.chbInversioneScontiSuReso = false;
    }
    if (interrupted_[port - 1]) {
      // The receipt of the job that was cut off may still be open, and the
      // next customer's lines would join it: cancelled before the host is
      // told the printer is ready.
      interrupted_[port - 1] = false;
      SendCancelSequence(port);
      view_.ProgramStatus(port, "SCONTRINO INTERROTTO ANNULLATO");
    }
    files_.WriteMatrFile(printer);
    files_.SubKillErrFile();
    view_.ProgramStatus(port, printer.identification);
    view_.PrinterSerial(port, printer.serialField);
    view_.DumpState(port, ecr::kDumpDone);
  } else {
    files_.WriteErrFile(ecr::DumpFailureMessage(result), port);
    files_.SubKillStartFile();
    printer_.ClosePort(port);
    bDumpConf_[port - 1] = true;
    view_.DumpState(port, ecr::DumpFailureField(result));
  }
  dumpRunning_ = false;
  if (result == 0) StartDirWatch();
  restartTick_ = 1;
  timer21_.SetInterval(1000);
  timer21_.Start();
}

void JobService::StartDirWatch() {
  const std::string& dir = files_.dataDir();
  timer21_.Stop();
  if (!platform::DirectoryExists(dir)) return;
  view_.WatcherStarted();
  view_.TimerControls(false, settings_.timerText);
  view_.DetectionStatus("PRONTO");
  watcher_.StartWatch(dir, 5, false, false);
}

void JobService::m_oWatchDir_ChangeDetected() {
  watcher_.SuspendWatch(true);
  if (settings_.options.OptionFAST) txtTimer_Change();
  // The scan may have stopped the watch (closing); resuming is then harmless.
  watcher_.SuspendWatch(false);
}

void JobService::SetPortEnabled(int16_t port, bool ticked) {
  if (port < 1 || port > 4) return;
  settings_.portEnabled[port - 1] = ticked;
  // Only the clicked box counts: clearing one stops the polling even while
  // another stays ticked.
  view_.ConfigurationLocked(ticked);
  if (ticked) {
    timer21_.Start();
  } else {
    timer21_.Stop();
  }
}

void JobService::SelectFastDetection() {
  settings_.options.OptionFAST = true;
  timer21_.Stop();
  view_.TimerControls(false, settings_.timerText);
  view_.DetectionStatus("PRONTO");
}

void JobService::SelectTimerDetection() {
  settings_.options.OptionFAST = false;
  txtTimer_Change();
}

void JobService::SetTimerValue(const std::string& typedText) {
  auto message = [this](const std::string& text) { view_.MessageBox(text); };
  if (jobRunning_) {
    message("Connessione in corso, valore non accettato");
    return;
  }
  bool wasRunning = timer21_.enabled();
  timer21_.Stop();
  settings::SetTimer(disk_, programDir_, typedText, false, &settings_, message);
  timer21_.SetInterval(settings_.pollInterval);
  if (wasRunning) timer21_.Start();
}

void JobService::ShowMainWindow() {
  for (int16_t n = 1; n <= 4; ++n) {
    bDumpConf_[n - 1] = !settings_.portEnabled[n - 1];
    view_.DumpState(n, bDumpConf_[n - 1] ? "DUMP NON ESEGUITO" : ecr::kDumpDone);
  }
  windowShown_ = true;
}

void JobService::WindowMinimised() { windowShown_ = false; }

void JobService::PrintTestReceipt() {
  if (!windowShown_) return;
  int16_t target = 0;
  for (int16_t n = 4; n >= 1 && target == 0; --n) {
    if (!bDumpConf_[n - 1] && settings_.portEnabled[n - 1] && portAvailable_[n - 1]) target = n;
  }
  if (target == 0) {
    view_.PrinterMessage(kNoDumpYet);
    return;
  }
  // Set only once there is a receipt to send: a stale flag would send the
  // host's next document unconverted.
  sendAsIs_ = true;
  auto display = [](const std::string& name, const char* amount) {
    return "7007" + name + std::string(20 - name.size(), ' ') + std::string(14, ' ') + '\x7f' + ' ' + amount;
  };
  std::string lines[] = {
      "1109",
      "7007" + std::string(40, ' '),
      display("ARTICOLO 1", "0,01"),
      "310110122ARTICOLO 1            000000001",
      "3002106 STORNO",
      display("STORNO", "0,01"),
      "310140122ARTICOLO 1            000000001",
      display("CONTANTI", "0,00"),
      "300408CONTANTI000000000",
      "3011",
      settings_.options.CheckStampaLogo ? "3017011" : "",
      settings_.options.chbNoInviaApCassetto ? "" : "70081",
      "3013",
      "1109",
  };
  std::string document;
  for (const std::string& line : lines) {
    if (!line.empty()) document += line + "\r\n";
  }
  fs_.Write(files_.PathOf(kDati, target), document);
  fs_.Write(files_.PathOf(kStart, target), "00000000\r\n");
  if (!timer21_.enabled()) timer21_.Start();
  view_.TestButtonEnabled(false);
}

void JobService::CancelReceipt() {
  // The link is one: no sequence in the middle of a job, a dump or the closing.
  if (jobRunning_ || dumpRunning_ || unloading_) return;
  iVerifyStartPos1();
  int16_t port = files_.currentPort;
  if (!PortAvailable(port) || dumpRunning_) return;
  SendCancelSequence(port);
}

void JobService::SendCancelSequence(int16_t port) {
  printer_.OpenPort(port);
  for (const std::string& command :
       {"7007" + std::string(40, ' '), std::string("3001818Annull.transazione000000000"), std::string("3011"),
        std::string("3013")})
    printer_.Send(command);
  printer_.ClosePort(port);
}

bool JobService::OpenTrace() {
  platform::LocalTime t = platform::NowLocal();
  const std::string stamp = DateTimeStamp(t, '_');
  const std::string month = stamp.substr(0, 6);
  const std::string& root = files_.dataDir();
  std::string dir = root + platform::PathSeparator() + "TRACE_" + month;
  if (!fs_.MakeDirectory(dir)) dir = root;
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
  errorDetail_.clear();
  int16_t outcome = kOutcomeTimedOut;
  // The test receipt lasts one job, however it ends: the next document must
  // not go out unconverted.
  const bool asIs = sendAsIs_;
  sendAsIs_ = false;
  jobReachedPrinter_ = false;
  if (settings_.options.chbTrace) OpenTrace();
  bool exists = false;
  fs_.Exists(dataPath_, &exists);
  if (!exists) {
    CloseTrace();
    return kOutcomeNoDataFile;
  }
  int16_t paid = payment_ ? payment_->Request(dataPath_) : 0;
  if (paid != 0) {
    outcome = paid;
  } else {
    jobReachedPrinter_ = true;
    int16_t status = printer_.SendFile(files_.currentPort, files_, dataPath_, outPath_, asIs, &errorDetail_);
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

void JobService::ShowOutcome(int16_t outcome) {
  const int16_t port = files_.currentPort;
  if (jobRunning_) {
    view_.ProgramStatus(port, "QUILO1 TERMINATO : " + OutcomeDisplayText(outcome, errorDetail_));
    if (outcome == 0) view_.PrinterMessage("");
  }
  if (outcome == 0 && jobRunning_) {
    files_.SubKillErrFile();
    files_.SubKillDatiFile();
    files_.SubKillStartFile();
    jobRunning_ = false;
  }
  if (outcome != 0 && jobRunning_) {
    files_.WriteErrFile(OutcomeErrorMessage(outcome, errorDetail_), port);
    files_.SubKillStartFile();
    jobRunning_ = false;
  }
  restartTick_ = 1;
  timer21_.SetInterval(1000);
  view_.TestButtonEnabled(true);
  view_.Busy(false, kIdleTip);
}

void JobService::Unload() {
  if (unloading_) return;
  watcher_.StopWatch();
  timer21_.Stop();
  unloading_ = true;
  if (payment_) payment_->Closing();
  view_.Busy(false, "");
  view_.ClosingNotice("Chiusura programma Quilo1 in corso ...");
  Pause(1000);
  if ((!dumpRunning_ && !jobRunning_) || printer_.CheckStatusFirst()) {
    // A dump that is being transmitted is cut off.
    if (dumpRunning_) printer_.RaiseTimedOut();
    for (int16_t n = 1; n <= 4; ++n) {
      if (!portAvailable_[n - 1]) continue;
      files_.currentPort = n;
      printer_.ClosePort(n);
      for (const char* stem : {kMatr, kStart, kErr, kOut, kFinesco})
        files_.VerifyExistenceAndKill(ExchangeFileName(stem, n));
    }
    host_.SaveSettings();
    finished_ = true;
  } else {
    printer_.RaiseTimedOut();
    Pause(2000);
    host_.SaveSettings();
    endAfterJob_ = true;
  }
}

}  // namespace service
