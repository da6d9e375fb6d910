// Serial port on termios. Works on real ports and on pseudo-terminals, which
// cannot carry 7 data bits or parity: there the settings the device refuses
// are left as the device has them, and the fact is logged.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include "platform/serial_port.h"

namespace platform {
namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + strerror(errno); }

// Unix98 pseudo-terminal slaves have majors 136 to 143, the old BSD ones 3.
bool IsPseudoTerminal(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  unsigned m = major(st.st_rdev);
  return (m >= 136 && m <= 143) || m == 3;
}

class PosixSerialPort : public BufferedSerialPort {
 public:
  explicit PosixSerialPort(EventLoop& loop) : loop_(loop) {}
  ~PosixSerialPort() override { Close(); }

  bool Configure(int port) override {
    if (fd_ >= 0 && port != port_) {
      error_ = "porta gia' aperta: COM" + std::to_string(port_);
      return false;
    }
    struct stat st;
    const std::string device = SerialDeviceName(port);
    if (stat(device.c_str(), &st) != 0) {
      error_ = Errno(device.c_str());
      return false;
    }
    port_ = port;
    if (fd_ >= 0) return ApplyLineSettings();
    return true;
  }

  bool Open() override {
    if (fd_ >= 0) return true;
    if (port_ <= 0) {
      error_ = "no port configured";
      return false;
    }
    const std::string device = SerialDeviceName(port_);
    fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
      error_ = Errno(device.c_str());
      return false;
    }
    if (!isatty(fd_)) {
      error_ = device + ": not a terminal";
      close(fd_);
      fd_ = -1;
      return false;
    }
    pty_ = IsPseudoTerminal(fd_);
    if (!ApplyLineSettings()) {
      close(fd_);
      fd_ = -1;
      return false;
    }
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd_, TIOCMBIS, &lines) != 0 && !pty_) Log(Errno("DTR/RTS"));
    tcflush(fd_, TCIFLUSH);
    buffer_.clear();
    handle_ = loop_.AddHandle(fd_, [this] { ReadAvailable(); });
    return true;
  }

  void Close() override {
    if (fd_ < 0) return;
    if (handle_) loop_.RemoveHandle(handle_);
    handle_ = 0;
    close(fd_);
    fd_ = -1;
    buffer_.clear();
  }

  bool IsOpen() const override { return fd_ >= 0; }

  bool Output(const std::string& bytes) override {
    if (fd_ < 0) {
      error_ = "port closed";
      return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += size_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        // The output queue is full: a frame is short, so this is a matter
        // of milliseconds at 19200 baud.
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, 2000) > 0) continue;
      }
      error_ = Errno("write");
      return false;
    }
    return true;
  }

 private:
  // 19200 baud, 7 data bits, odd parity, 1 stop bit, raw, no flow control.
  bool ApplyLineSettings() {
    termios t;
    if (tcgetattr(fd_, &t) != 0) {
      error_ = Errno("tcgetattr");
      return false;
    }
    cfmakeraw(&t);
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | CRTSCTS);
    t.c_cflag |= CS7 | PARENB | PARODD | CREAD | CLOCAL;
    // With VMIN 0 an empty read returns 0, which looks like a hang-up; with
    // VMIN 1 and O_NONBLOCK it fails with EAGAIN instead.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    if (tcsetattr(fd_, TCSANOW, &t) != 0) {
      if (!pty_ || errno != EINVAL) {
        error_ = Errno("tcsetattr");
        return false;
      }
      // A pseudo-terminal refuses what it cannot carry: keep its own
      // character size and parity, apply the rest.
      termios now;
      if (tcgetattr(fd_, &now) != 0) {
        error_ = Errno("tcgetattr");
        return false;
      }
      const tcflag_t kept = CSIZE | PARENB | PARODD;
      t.c_cflag = (t.c_cflag & ~kept) | (now.c_cflag & kept);
      if (tcsetattr(fd_, TCSANOW, &t) != 0) {
        error_ = Errno("tcsetattr");
        return false;
      }
    }
    termios got;
    if (tcgetattr(fd_, &got) == 0) {
      const tcflag_t want = CSIZE | PARENB | PARODD | CSTOPB;
      if ((got.c_cflag & want) != (CS7 | PARENB | PARODD)) {
        if (!pty_) {
          error_ = "the device refused 7 data bits, odd parity";
          return false;
        }
        if (!warned_) Log("pseudo-terminal: 7 data bits and odd parity not available, using the device's framing");
        warned_ = true;
      }
    }
    return true;
  }

  // Takes everything the driver holds; a hang-up (the other end of a
  // pseudo-terminal closed) drops the handle so the loop does not spin on it.
  void ReadAvailable() override {
    if (fd_ < 0) return;
    char buf[512];
    for (;;) {
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n > 0) {
        buffer_.append(buf, size_t(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      if (n == 0) {
        // With VMIN 0 (which the other end of a pseudo-terminal may set) an
        // empty queue reads as 0 too: only a hang-up ends the watch.
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL))) return;
      }
      if (handle_) {
        Log(n == 0 ? "end of file" : Errno("read"));
        loop_.RemoveHandle(handle_);
        handle_ = 0;
      }
      return;
    }
  }

  EventLoop& loop_;
  int fd_ = -1;
  int handle_ = 0;
  bool pty_ = false;
  bool warned_ = false;
};

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Create(EventLoop& loop) { return std::make_unique<PosixSerialPort>(loop); }

}  // namespace platform
