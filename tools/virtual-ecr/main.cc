// virtual-ecr: a fiscal printer that lives on a pseudo-terminal (or a serial
// device), for tests, demonstrations and development without a printer.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device.h"
#include "fiscal_state.h"
#include "printer.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct Options {
  std::string link, device, state, paper, log, control;
  std::vector<std::string> faults;
  vecr::PrinterConfig printer;
  bool paced = false;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "Usage: virtual-ecr [options]\n"
               "A virtual fiscal printer speaking the native protocol on a pseudo-terminal.\n"
               "Without --device it opens a pseudo-terminal and prints its slave path on\n"
               "one line of standard output.\n\n"
               "  --link PATH        also make PATH a symbolic link to the pseudo-terminal\n"
               "  --device PATH      serve this serial device instead (19200 baud, 7O1, raw)\n"
               "  --state FILE       fiscal memory: loaded at start, saved after each change\n"
               "  --paper FILE       append the printed paper to FILE\n"
               "  --log FILE         append one line per frame received and answer sent\n"
               "  --control FILE     control commands: FILE is read again whenever it changes\n"
               "                     (a FIFO is read line by line as lines arrive)\n"
               "  --fault COMMAND    run a control command at start (may be repeated)\n"
               "  --serial TEXT      serial number (default 99MEY012345, MF: CU100001)\n"
               "  --mf               an MF printer: refuses the identification request, so the\n"
               "                     program identifies it by its 8-character serial number\n"
               "  --model DIGIT      digit answered to the model request (default 2)\n"
               "  --firmware TEXT    firmware release (default 05.01.02)\n"
               "  --header TEXT      shop name printed at the head of documents\n"
               "  --error99 TEXT     description given for printer error 99\n"
               "  --refuse-date      refuse to set the date and time (ERR54)\n"
               "  --paced            send at the speed of the wire (19200 baud, 10 bits a byte)\n"
               "  --help             this text\n\n"
               "Errors of its own: ERR02 malformed command, ERR03 not allowed now (items\n"
               "after a payment, text outside a document), ERR04 not on this model, ERR21\n"
               "receipt open, ERR98 another document open, ERR23 negative total.\n"
               "Unknown commands get their code echoed and no data. A frame with the\n"
               "sequence number and command of the last one run is a repeat: it gets the\n"
               "stored answer again and is not run twice.\n\n"
               "Control commands (--fault, --control), one a line; a control file is\n"
               "looked at five times a second and run whole when it has changed:\n%s",
               vecr::Device::ControlHelp());
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool has_value = false;
    size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
      has_value = true;
    }
    auto next = [&](std::string& out) {
      if (has_value) {
        out = value;
        return true;
      }
      if (i + 1 >= argc) {
        std::fprintf(stderr, "virtual-ecr: %s needs a value\n", arg.c_str());
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string fault, model;
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      std::exit(0);
    } else if (arg == "--link") {
      if (!next(o.link)) return false;
    } else if (arg == "--device") {
      if (!next(o.device)) return false;
    } else if (arg == "--state") {
      if (!next(o.state)) return false;
    } else if (arg == "--paper") {
      if (!next(o.paper)) return false;
    } else if (arg == "--log") {
      if (!next(o.log)) return false;
    } else if (arg == "--control") {
      if (!next(o.control)) return false;
    } else if (arg == "--fault") {
      if (!next(fault)) return false;
      o.faults.push_back(fault);
    } else if (arg == "--serial") {
      if (!next(o.printer.serial)) return false;
    } else if (arg == "--mf") {
      o.printer.mf = true;
    } else if (arg == "--model") {
      if (!next(model)) return false;
      if (model.size() != 1) {
        std::fprintf(stderr, "virtual-ecr: --model takes one character\n");
        return false;
      }
      o.printer.model_digit = model[0];
    } else if (arg == "--firmware") {
      if (!next(o.printer.firmware)) return false;
    } else if (arg == "--header") {
      if (!next(o.printer.header)) return false;
    } else if (arg == "--error99") {
      if (!next(o.printer.error99_text)) return false;
    } else if (arg == "--refuse-date") {
      o.printer.refuse_date = true;
    } else if (arg == "--paced") {
      o.paced = true;
    } else {
      std::fprintf(stderr, "virtual-ecr: unknown option %s (see --help)\n", arg.c_str());
      return false;
    }
  }
  return true;
}

int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void AppendLine(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << line << '\n';
}

std::string Stamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  // Microseconds, so that the program's reaction times can be read off it.
  int us = static_cast<int>(
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000);
  char text[32];
  std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&t));
  char out[40];
  std::snprintf(out, sizeof out, "%s.%06d", text, us);
  return out;
}

void MakeRaw(int fd, bool serial) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;
  cfmakeraw(&tio);
  if (serial) {
    tio.c_cflag &= ~(CSIZE | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS7 | PARENB | PARODD | CLOCAL | CREAD;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
  }
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  tcsetattr(fd, TCSANOW, &tio);
}

// Bytes waiting to go out: due time, and with pacing the time the wire takes.
struct Pending {
  int64_t due_us;
  std::string bytes;
  size_t sent = 0;
  int64_t start_us = -1;
};

// 19200 baud, ten bits a byte: 1920 bytes a second.
constexpr int64_t kBytesPerSecond = 1920;
int64_t WireUs(int64_t bytes) { return bytes * 1000000 / kBytesPerSecond; }

// Watches the control file: a FIFO is read as it comes, a plain file is read
// whole whenever its size, time or identity changes.
class ControlChannel {
 public:
  explicit ControlChannel(std::string path) : path_(std::move(path)) {}

  void Open() {
    struct stat st {};
    if (stat(path_.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
      fifo_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
      // Our own writer keeps the FIFO from reporting end of file (and poll
      // from spinning) between the writers that come and go.
      keep_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK);
    }
  }
  int fifo() const { return fifo_; }

  // New complete lines from the FIFO.
  std::vector<std::string> ReadFifo() {
    std::vector<std::string> lines;
    char buf[512];
    ssize_t n;
    while ((n = read(fifo_, buf, sizeof buf)) > 0) partial_.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = partial_.find('\n')) != std::string::npos) {
      lines.push_back(partial_.substr(0, nl));
      partial_.erase(0, nl + 1);
    }
    return lines;
  }

  // All lines of the file when it changed since the last look.
  bool Changed(std::vector<std::string>& lines) {
    if (fifo_ >= 0 || path_.empty()) return false;
    struct stat st {};
    std::string id;
    if (stat(path_.c_str(), &st) == 0) {
      id = std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) +
           ":" + std::to_string(st.st_mtim.tv_nsec);
    }
    if (id == seen_) return false;
    if (id.empty()) {
      seen_ = id;
      return false;
    }
    std::ifstream in(path_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A last line without its line end may be half written: take it when
    // the file has stayed the same for one more look.
    if (!text.empty() && text.back() != '\n' && id != unsettled_) {
      unsettled_ = id;
      return false;
    }
    seen_ = id;
    size_t start = 0;
    while (start < text.size()) {
      size_t nl = text.find('\n', start);
      if (nl == std::string::npos) nl = text.size();
      lines.push_back(text.substr(start, nl - start));
      start = nl + 1;
    }
    return true;
  }

 private:
  std::string path_;
  int fifo_ = -1;
  int keep_ = -1;
  std::string partial_;
  std::string seen_;
  std::string unsettled_;
};

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseOptions(argc, argv, opt)) return 2;

  vecr::Printer printer(opt.printer, [] { return std::time(nullptr); });
  if (!opt.state.empty()) {
    std::string error = vecr::LoadState(opt.state, printer.state());
    if (!error.empty()) {
      std::fprintf(stderr, "virtual-ecr: %s\n", error.c_str());
      return 1;
    }
  }
  vecr::Device device(printer);
  if (!opt.log.empty()) {
    std::string path = opt.log;
    device.set_log([path](const std::string& line) { AppendLine(path, Stamp() + " " + line); });
  }
  device.set_sleep([](int64_t ms) {
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  });
  for (const std::string& f : opt.faults) {
    std::string error = device.Control(f);
    if (!error.empty()) {
      std::fprintf(stderr, "virtual-ecr: --fault: %s\n", error.c_str());
      return 2;
    }
  }

  int line_fd = -1;
  int slave_keep = -1;
  std::string line_path;
  if (!opt.device.empty()) {
    line_fd = open(opt.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (line_fd < 0) {
      std::fprintf(stderr, "virtual-ecr: cannot open %s: %s\n", opt.device.c_str(), std::strerror(errno));
      return 1;
    }
    MakeRaw(line_fd, true);
    line_path = opt.device;
  } else {
    line_fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (line_fd < 0 || grantpt(line_fd) != 0 || unlockpt(line_fd) != 0) {
      std::fprintf(stderr, "virtual-ecr: no pseudo-terminal: %s\n", std::strerror(errno));
      return 1;
    }
    line_path = ptsname(line_fd);
    // Holding the slave open ourselves keeps the master readable (no EIO)
    // while no client has it open. Raw, so nothing is ever echoed back.
    slave_keep = open(line_path.c_str(), O_RDWR | O_NOCTTY);
    if (slave_keep >= 0) MakeRaw(slave_keep, false);
    fcntl(line_fd, F_SETFL, fcntl(line_fd, F_GETFL) | O_NONBLOCK);
  }
  if (!opt.link.empty()) {
    unlink(opt.link.c_str());
    if (symlink(line_path.c_str(), opt.link.c_str()) != 0) {
      std::fprintf(stderr, "virtual-ecr: cannot link %s: %s\n", opt.link.c_str(), std::strerror(errno));
      return 1;
    }
  }
  std::printf("%s\n", line_path.c_str());
  std::fflush(stdout);

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);

  ControlChannel control(opt.control);
  if (!opt.control.empty()) control.Open();
  constexpr int64_t kControlPollUs = 200000;
  int64_t next_control_look = 0;

  auto after_frames = [&] {
    for (const std::string& line : printer.TakePaper()) AppendLine(opt.paper, line);
    if (printer.TakeChanged() && !opt.state.empty()) {
      std::string error = vecr::SaveState(opt.state, printer.state());
      if (!error.empty()) std::fprintf(stderr, "virtual-ecr: %s\n", error.c_str());
    }
  };
  device.set_save(after_frames);
  auto run_control = [&](const std::vector<std::string>& lines) {
    for (const std::string& l : lines) {
      std::string error = device.Control(l);
      if (!error.empty()) std::fprintf(stderr, "virtual-ecr: control: %s\n", error.c_str());
    }
  };

  // A serial line never echoes; a pseudo-terminal slave left with echo on
  // would send our answers back to us as commands.
  auto no_echo = [&] {
    termios tio{};
    if (slave_keep < 0 || tcgetattr(slave_keep, &tio) != 0) return;
    if (!(tio.c_lflag & (ECHO | ECHONL))) return;
    tio.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL);
    tcsetattr(slave_keep, TCSANOW, &tio);
    if (!opt.log.empty()) AppendLine(opt.log, Stamp() + " echo switched off on the pseudo-terminal");
  };

  std::deque<Pending> pending;
  int64_t wire_free_us = 0;
  bool want_write = false;

  while (!g_stop && !device.quit()) {
    int64_t now = NowUs();
    // Send what is due.
    want_write = false;
    while (!pending.empty() && pending.front().due_us <= now) {
      Pending& p = pending.front();
      size_t allowed = p.bytes.size();
      if (opt.paced) {
        if (p.start_us < 0) p.start_us = std::max(now, wire_free_us);
        int64_t elapsed = now - p.start_us;
        allowed = elapsed < 0 ? 0 : std::min(p.bytes.size(), static_cast<size_t>(elapsed * kBytesPerSecond / 1000000 + 1));
      }
      if (allowed > p.sent) {
        no_echo();
        ssize_t n = write(line_fd, p.bytes.data() + p.sent, allowed - p.sent);
        if (n > 0) p.sent += static_cast<size_t>(n);
        if (n < 0 && errno == EAGAIN) want_write = true;
        if (n < 0 && errno != EAGAIN && errno != EINTR) p.sent = p.bytes.size();  // line gone; drop it
      }
      if (p.sent < p.bytes.size()) break;
      if (opt.paced) wire_free_us = p.start_us + WireUs(static_cast<int64_t>(p.bytes.size()));
      pending.pop_front();
    }

    // How long to sleep: next byte due, next look at the control file.
    int64_t wait_us = -1;
    if (!pending.empty() && !want_write) {
      const Pending& p = pending.front();
      int64_t due = p.due_us;
      if (opt.paced && p.start_us >= 0) due = p.start_us + WireUs(static_cast<int64_t>(p.sent));
      wait_us = std::max<int64_t>(0, due - now);
    }
    if (!opt.control.empty() && control.fifo() < 0) {
      int64_t w = std::max<int64_t>(0, next_control_look - now);
      wait_us = wait_us < 0 ? w : std::min(wait_us, w);
    }

    pollfd fds[2];
    nfds_t nfds = 0;
    fds[nfds++] = {line_fd, static_cast<short>(POLLIN | (want_write ? POLLOUT : 0)), 0};
    if (control.fifo() >= 0) fds[nfds++] = {control.fifo(), POLLIN, 0};
    timespec ts{};
    timespec* tsp = nullptr;
    if (wait_us >= 0) {
      // Round up so a timer never wakes a little early and loops.
      ts.tv_sec = wait_us / 1000000;
      ts.tv_nsec = (wait_us % 1000000) * 1000 + 999;
      tsp = &ts;
    }
    int rc = ppoll(fds, nfds, tsp, &waiting);
    if (rc < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "virtual-ecr: poll: %s\n", std::strerror(errno));
      break;
    }
    now = NowUs();
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
      char buf[1024];
      ssize_t n = read(line_fd, buf, sizeof buf);
      if (n > 0) {
        std::vector<vecr::Output> out = device.Receive(std::string_view(buf, static_cast<size_t>(n)));
        // On the wire the request itself took time to arrive.
        int64_t arrival = opt.paced ? WireUs(n) : 0;
        for (vecr::Output& o : out) {
          Pending p{now + arrival + o.delay_ms * 1000, std::move(o.bytes)};
          auto at = pending.end();
          while (at != pending.begin() && std::prev(at)->due_us > p.due_us) --at;
          pending.insert(at, std::move(p));
        }
        after_frames();
        // The power went: nothing more is sent, nothing more is saved.
        if (device.dead()) _exit(0);
      } else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        if (opt.device.empty()) {
          // Should not happen while we hold the slave; avoid a busy loop.
          usleep(100000);
        } else {
          std::fprintf(stderr, "virtual-ecr: %s closed\n", line_path.c_str());
          break;
        }
      }
    }
    if (nfds > 1 && (fds[1].revents & POLLIN)) {
      run_control(control.ReadFifo());
      after_frames();
    }
    if (!opt.control.empty() && control.fifo() < 0 && now >= next_control_look) {
      next_control_look = now + kControlPollUs;
      std::vector<std::string> lines;
      if (control.Changed(lines)) {
        run_control(lines);
        after_frames();
      }
    }
  }

  if (!opt.link.empty()) unlink(opt.link.c_str());
  if (slave_keep >= 0) close(slave_keep);
  close(line_fd);
  return 0;
}
