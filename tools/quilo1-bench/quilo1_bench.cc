// Figures of the running program against the virtual printer: detection
// latency in notification mode, job time over wire time on a paced printer,
// CPU use and resident memory while idle, the conversion alone, and the
// start-up over a huge journal. Prints figures; asserts nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "convert/converter.h"
#include "platform/child_process.h"
#include "service/journal.h"
#include "service/sha256.h"
#include "testing/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

bool WaitFor(const std::function<bool()>& done, int ms) {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

// Milliseconds since midnight, local time, as the printer's log stamps them.
double LocalMsOfDay() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm = *std::localtime(&t);
  double ms = double(std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000) / 1000.0;
  return (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * 1000.0 + ms;
}

struct LogLine {
  double ms;
  std::string kind;  // "recv" or "send"
  size_t bytes;
};

// The printer's log: "HH:MM:SS.uuuuuu recv <STX>...<ETX>", control bytes as <XX>.
std::vector<LogLine> ReadLog(const std::string& path) {
  std::vector<LogLine> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    int h, m, s;
    char fraction[16];
    if (std::sscanf(line.c_str(), "%d:%d:%d.%15[0-9]", &h, &m, &s, fraction) != 4) continue;
    size_t sp = line.find(' ');
    if (sp == std::string::npos) continue;
    // Milliseconds, whatever the number of fraction digits.
    double ms = std::atof((std::string("0.") + fraction).c_str()) * 1000.0;
    std::string rest = line.substr(sp + 1);
    std::string kind = rest.substr(0, 4);
    if (kind != "recv" && kind != "send") continue;
    std::string bytes = rest.substr(5);
    if (bytes.rfind("bad frame", 0) == 0) continue;
    size_t n = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '<') {
        size_t close = bytes.find('>', i);
        if (close != std::string::npos && close - i <= 4) i = close;
      }
      ++n;
    }
    out.push_back({((h * 60 + m) * 60 + s) * 1000.0 + ms, kind, n});
  }
  return out;
}

double CpuSeconds(long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t p = all.rfind(')');
  std::istringstream fields(all.substr(p + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; fields >> f; ++i) {
    if (i == 14) utime = std::atol(f.c_str());
    if (i == 15) {
      stime = std::atol(f.c_str());
      break;
    }
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

class Rig {
 public:
  // `plant` puts files in the program directory before quilo1 starts.
  Rig(bool fast, const char* timer, bool paced, const std::function<void(const std::string&)>& plant = nullptr) {
    prog_ = dir_.File("prog");
    data_ = dir_.File("data");
    mkdir(prog_.c_str(), 0755);
    mkdir(data_.c_str(), 0755);
    if (plant) plant(prog_);
    WriteFileBytes(prog_ + "/QLCHKCOM.TXT", "1000\r\n");
    WriteFileBytes(prog_ + "/QLTIMER1.TXT", std::string(timer) + "\r\n");
    std::string options;
    for (int i = 1; i <= 16; ++i) options += (i == 14 ? (fast ? "F" : "S") : (i == 4 ? "1" : "0")) + std::string("\r\n");
    WriteFileBytes(prog_ + "/QLCHKSCO.TXT", options);
    std::string tty = dir_.File("tty");
    std::vector<std::string> argv = {VIRTUAL_ECR_BIN, "--link", tty, "--log", Log(), "--paper", dir_.File("paper")};
    if (paced) argv.push_back("--paced");
    std::string error;
    printer_ = platform::ChildProcess::Start(argv, dir_.File("virtual-ecr.out"), &error);
    WaitFor([&] { return FileExists(tty); }, 5000);
    const auto t0 = Clock::now();
    quilo1_ = platform::ChildProcess::Start(
        {QUILO1_BIN, "--program-dir", prog_, "--data-dir", data_, "--com", "1=" + tty}, dir_.File("quilo1.log"), &error);
    ok_ = printer_ && quilo1_ &&
          WaitFor([&] { return ReadFileBytes(D("SR_MATR.001")).find("FW: ") != std::string::npos; }, 20000);
    startMs_ = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  bool ok() const { return ok_; }
  // From quilo1's start to its printer identified.
  double startMs() const { return startMs_; }
  std::string Quilo1Log() { return ReadFileBytes(dir_.File("quilo1.log")); }
  std::string D(const std::string& name) { return data_ + "/" + name; }
  std::string Log() { return dir_.File("virtual-ecr.log"); }
  long pid() const { return quilo1_->Id(); }
  // Returns the wall time of the job in ms; false when it did not end well.
  bool Job(const std::string& document, double* startMs, double* jobMs) {
    std::remove(D("FINESCO.001").c_str());
    WriteFileBytes(D("SR_DATI.001"), document);
    auto t0 = Clock::now();
    *startMs = LocalMsOfDay();
    WriteFileBytes(D("SR_START.001"), "");
    bool done = WaitFor([&] { return FileExists(D("FINESCO.001")) || FileExists(D("SR_ERR.001")); }, 60000);
    *jobMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return done && FileExists(D("FINESCO.001"));
  }

 private:
  testing_support::ScopedTempDir dir_;
  std::string prog_, data_;
  std::unique_ptr<platform::ChildProcess> printer_, quilo1_;
  bool ok_ = false;
  double startMs_ = 0;
};

std::string Receipt(int items) {
  std::string doc;
  for (int i = 1; i <= items; ++i)
    doc += "PLUD,N1,Q1,P" + std::to_string(100 + i) + ",:ARTICOLO " + std::to_string(i) + ";\r\n";
  return doc + "CASH;\r\n";
}

void DetectionLatency() {
  // Two seconds of polling: once the timer has stopped, only the change
  // notification can start the job.
  Rig rig(true, "2", false);
  if (!rig.ok()) return (void)std::printf("(a) rig did not start\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  std::vector<double> latencies;
  for (int i = 0; i < 21; ++i) {
    size_t before = ReadLog(rig.Log()).size();
    double start, job;
    if (!rig.Job(Receipt(1), &start, &job)) continue;
    std::vector<LogLine> log = ReadLog(rig.Log());
    for (size_t k = before; k < log.size(); ++k) {
      if (log[k].kind == "recv") {
        latencies.push_back(log[k].ms - start);
        break;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  std::sort(latencies.begin(), latencies.end());
  if (latencies.empty()) return (void)std::printf("(a) no job measured\n");
  std::printf("(a) detection latency, notification mode, SR_START -> first frame received by the printer: "
              "%zu jobs, min %.3f ms, median %.3f ms, max %.3f ms (printer log stamps)\n",
              latencies.size(), latencies.front(), latencies[latencies.size() / 2], latencies.back());
}

void PacedReceipt() {
  Rig rig(true, "2", true);
  if (!rig.ok()) return (void)std::printf("(b) rig did not start\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  size_t before = ReadLog(rig.Log()).size();
  double start, job;
  bool ok = rig.Job(Receipt(30), &start, &job);
  std::vector<LogLine> log = ReadLog(rig.Log());
  size_t bytes = 0, answers = 0;
  for (size_t k = before; k < log.size(); ++k) {
    bytes += log[k].bytes;
    if (log[k].kind == "send" && log[k].bytes > 1) ++answers;
  }
  // The program's ACK after each answer is not in the log, and the paced
  // printer lets it pass at once; the first figure counts it, the second not.
  double wireMs = double(bytes + answers) * 10.0 * 1000.0 / 19200.0;
  double framesMs = double(bytes) * 10.0 * 1000.0 / 19200.0;
  std::printf("(b) 30-item receipt on a paced printer: %s, job %.0f ms; wire time %.0f ms with the ACKs (ratio %.3f), "
              "%.0f ms of frames alone (ratio %.3f)\n",
              ok ? "FINESCO" : "FAILED", job, wireMs, job / wireMs, framesMs, job / framesMs);
}

void IdleCpu(bool fast) {
  Rig rig(fast, "100", false);
  if (!rig.ok()) return (void)std::printf("(c) rig did not start\n");
  std::this_thread::sleep_for(std::chrono::seconds(3));
  double c0 = CpuSeconds(rig.pid());
  auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(60));
  double c1 = CpuSeconds(rig.pid());
  double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  std::printf("(c) idle CPU, %s: %.2f s of CPU in %.0f s = %.3f%% of one core\n",
              fast ? "notification mode" : "timer mode, 100 ms polling", c1 - c0, wall, 100.0 * (c1 - c0) / wall);
}

// Resident memory of the idle daemon, and where it sits: the biggest
// mappings by resident size, from /proc/PID/smaps.
void IdleMemory() {
  Rig rig(true, "100", false);
  if (!rig.ok()) return (void)std::printf("(d) rig did not start\n");
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const std::string proc = "/proc/" + std::to_string(rig.pid());
  std::ifstream status(proc + "/status");
  std::string vmRss;
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) vmRss = line.substr(6);
  vmRss.erase(0, vmRss.find_first_not_of(" \t"));
  std::vector<std::pair<long, std::string>> parts;
  std::ifstream smaps(proc + "/smaps");
  std::string name;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long lo, hi;
    char path[512] = "";
    if (std::sscanf(line.c_str(), "%lx-%lx %*s %*s %*s %*s %511s", &lo, &hi, path) >= 2 && line.find('-') < 17) {
      name = path[0] ? path : "[anonymous]";
      name = name.substr(name.rfind('/') + 1);
      continue;
    }
    long kb;
    if (std::sscanf(line.c_str(), "Rss: %ld kB", &kb) == 1 && kb > 0) {
      auto it = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.second == name; });
      if (it == parts.end()) parts.push_back({kb, name});
      else it->first += kb;
    }
  }
  std::sort(parts.rbegin(), parts.rend());
  std::string top;
  for (size_t i = 0; i < parts.size() && i < 8; ++i)
    top += (i ? ", " : "") + parts[i].second + " " + std::to_string(parts[i].first) + " kB";
  std::printf("(d) idle resident memory (VmRSS), notification mode: %s; largest: %s\n", vmRss.c_str(), top.c_str());
}

// The conversion alone, in this process: a 2,000-line receipt of items,
// texts and discounts, median of 50 runs.
void ConversionAlone() {
  std::vector<std::string> doc;
  for (int i = 0; i < 1999; ++i) {
    const std::string n = std::to_string(i % 5 + 1);
    switch (i % 4) {
      case 0: doc.push_back("PLUD,N" + n + ",Q1,P" + std::to_string(100 + i) + ",:ARTICOLO " + std::to_string(i) + ";"); break;
      case 1: doc.push_back("SALE,N2,Q2.5,P" + std::to_string(50 + i) + ";"); break;
      case 2: doc.push_back("PRNT,:RIGA DI TESTO " + std::to_string(i) + ";"); break;
      default: doc.push_back("DISC,%5,:SCONTO;"); break;
    }
  }
  doc.push_back("CASH;");
  convert::ConvertContext ctx;
  ctx.dataDir = "DATA";
  std::vector<double> ms;
  size_t commands = 0;
  for (int run = 0; run < 50; ++run) {
    const auto start = Clock::now();
    commands = convert::ConvertDocument(doc, ctx).commands.size();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("(e) conversion alone, 2,000-line receipt (%zu commands): median %.2f ms, fastest %.2f ms\n", commands,
              ms[ms.size() / 2], ms.front());
}

// Start-up over a journal of 10^6 records (jobs of five records each, as
// real ones), against one without a journal: time to the printer
// identified, and the peak resident memory.
void HugeJournalStartUp() {
  auto plant = [](const std::string& prog) {
    std::ofstream out(prog + "/Quilo1.journal", std::ios::binary);
    size_t n = 0;
    for (uint64_t job = 1; n < 1000000; ++job) {
      using service::JournalStep;
      for (const service::JournalRecord& r :
           {service::JournalRecord{.step = JournalStep::kStarted, .job = job, .port = 1, .wall_time = "20261208101500",
                                   .document_sha256 = service::Sha256Hex(std::to_string(job)),
                                   .printer_serial = "99MEY012345"},
            service::JournalRecord{.step = JournalStep::kClosingAboutToBeSent, .job = job, .receipt_counter_before = 7},
            service::JournalRecord{.step = JournalStep::kClosingAnswered, .job = job, .receipt_number = "8"},
            service::JournalRecord{.step = JournalStep::kOutcomeWritten, .job = job, .outcome = "FINESCO"},
            service::JournalRecord{.step = JournalStep::kAnswered, .job = job}})
        if (n++ < 1000000) out << service::EncodeJournalRecord(r);
    }
  };
  for (bool huge : {false, true}) {
    Rig rig(true, "100", false, huge ? std::function<void(const std::string&)>(plant) : nullptr);
    if (!rig.ok()) return (void)std::printf("(f) rig did not start\n");
    std::ifstream status("/proc/" + std::to_string(rig.pid()) + "/status");
    std::string hwm;
    for (std::string line; std::getline(status, line);)
      if (line.rfind("VmHWM:", 0) == 0) hwm = line.substr(line.find_first_not_of(" \t", 6));
    std::printf("(f) start-up %s: printer identified after %.0f ms, peak resident memory (VmHWM) %s\n",
                huge ? "over a journal of 10^6 records" : "without a journal", rig.startMs(), hwm.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string which = argc > 1 ? argv[1] : "abcdef";
  if (which.find('a') != std::string::npos) DetectionLatency();
  if (which.find('b') != std::string::npos) PacedReceipt();
  if (which.find('c') != std::string::npos) {
    IdleCpu(true);
    IdleCpu(false);
  }
  if (which.find('d') != std::string::npos) IdleMemory();
  if (which.find('e') != std::string::npos) ConversionAlone();
  if (which.find('f') != std::string::npos) HugeJournalStartUp();
  return 0;
}
