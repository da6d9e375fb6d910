// Serial port on the Win32 communications API: "\\.\COMn", DCB and
// COMMTIMEOUTS, overlapped I/O. Arrival of bytes is signalled by an
// overlapped WaitCommEvent whose event the loop waits on; where the driver
// cannot wait for events the port polls its input queue every few ms.
#include <windows.h>

#include "platform/serial_port.h"

namespace platform {
namespace {

std::string LastErrorText(const char* what, DWORD code) {
  return std::string(what) + " failed, error " + std::to_string(code);
}

constexpr int64_t kPollMs = 5;

class Win32SerialPort : public BufferedSerialPort {
 public:
  explicit Win32SerialPort(EventLoop& loop) : loop_(loop) {}
  ~Win32SerialPort() override { Close(); }

  bool Configure(int port) override {
    if (handle_ != INVALID_HANDLE_VALUE && port != port_) {
      error_ = "port already open: COM" + std::to_string(port_);
      return false;
    }
    if (handle_ == INVALID_HANDLE_VALUE && !Exists(SerialDeviceName(port))) return false;
    port_ = port;
    if (handle_ != INVALID_HANDLE_VALUE) return ApplyLineSettings();
    return true;
  }

  bool Open() override {
    if (handle_ != INVALID_HANDLE_VALUE) return true;
    if (port_ <= 0) {
      error_ = "no port configured";
      return false;
    }
    const std::string device = SerialDeviceName(port_);
    handle_ = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      error_ = device + ": " + LastErrorText("CreateFile", GetLastError());
      return false;
    }
    SetupComm(handle_, 4096, 4096);
    if (!ApplyLineSettings()) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
      return false;
    }
    // Wine refuses the modem lines on a pseudo-terminal (error 50); the
    // printer does not need them to answer.
    if (!EscapeCommFunction(handle_, SETDTR)) Log(LastErrorText("SETDTR", GetLastError()));
    if (!EscapeCommFunction(handle_, SETRTS)) Log(LastErrorText("SETRTS", GetLastError()));
    PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    buffer_.clear();
    StartWatching();
    return true;
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    StopWatching();
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    buffer_.clear();
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  bool Output(const std::string& bytes) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      error_ = "port closed";
      return false;
    }
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    BOOL ok = WriteFile(handle_, bytes.data(), DWORD(bytes.size()), &written, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &ov, &written, TRUE);
    const DWORD code = GetLastError();
    CloseHandle(ov.hEvent);
    if (!ok || written != bytes.size()) {
      error_ = LastErrorText("WriteFile", code);
      return false;
    }
    return true;
  }

 private:
  bool Exists(const std::string& device) {
    std::string name = device;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    char target[1024];
    if (QueryDosDeviceA(name.c_str(), target, sizeof target) != 0) return true;
    // Not a DOS device name: try the path itself. A busy port exists too.
    HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return true;
    }
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) return true;
    error_ = device + ": " + LastErrorText("CreateFile", code);
    return false;
  }

  // 19200 baud, 7 data bits, odd parity, 1 stop bit, no flow control; reads
  // return at once with whatever is queued.
  bool ApplyLineSettings() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) {
      error_ = LastErrorText("GetCommState", GetLastError());
      return false;
    }
    dcb.BaudRate = CBR_19200;
    dcb.ByteSize = 7;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle_, &dcb)) {
      const DWORD code = GetLastError();
      // Wine on a pseudo-terminal: the terminal cannot take 7 data bits and
      // parity, so reprogramming it fails with ERROR_INVALID_PARAMETER.
      if (code != ERROR_INVALID_PARAMETER) {
        error_ = LastErrorText("SetCommState", code);
        return false;
      }
      Log(LastErrorText("SetCommState", code) + ", line settings left as the device has them");
    }
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 2000;
    if (!SetCommTimeouts(handle_, &t)) {
      error_ = LastErrorText("SetCommTimeouts", GetLastError());
      return false;
    }
    return true;
  }

  void StartWatching() {
    polling_ = false;
    // QUILO1_SERIAL_POLL=1 forces the polling fallback, for drivers whose
    // event waits misbehave and to test the fallback itself.
    char force[8];
    const bool forcePoll = GetEnvironmentVariableA("QUILO1_SERIAL_POLL", force, sizeof force) > 0 && force[0] == '1';
    wait_.hEvent = forcePoll ? nullptr : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (wait_.hEvent && SetCommMask(handle_, EV_RXCHAR) && ArmWait()) {
      loop_handle_ = loop_.AddHandle(NativeHandle(wait_.hEvent), [this] { OnCommEvent(); });
      return;
    }
    Log((forcePoll ? std::string("QUILO1_SERIAL_POLL") : LastErrorText("WaitCommEvent", GetLastError())) +
        ", polling the input queue every " + std::to_string(kPollMs) + " ms");
    if (wait_.hEvent) CloseHandle(wait_.hEvent);
    wait_.hEvent = nullptr;
    polling_ = true;
    poll_timer_ = loop_.AddTimer(kPollMs, [this] { OnPoll(); });
  }

  void StopWatching() {
    if (poll_timer_) loop_.CancelTimer(poll_timer_);
    poll_timer_ = 0;
    if (loop_handle_) loop_.RemoveHandle(loop_handle_);
    loop_handle_ = 0;
    if (wait_.hEvent) {
      // A zero mask completes the pending wait; it must be over before its
      // OVERLAPPED and event go away.
      SetCommMask(handle_, 0);
      if (wait_pending_) {
        DWORD n = 0;
        CancelIo(handle_);
        GetOverlappedResult(handle_, &wait_, &n, TRUE);
      }
      CloseHandle(wait_.hEvent);
      wait_.hEvent = nullptr;
    }
    wait_pending_ = false;
  }

  // True when a wait is pending or has completed (the event is then set).
  bool ArmWait() {
    HANDLE event = wait_.hEvent;
    ResetEvent(event);
    wait_ = OVERLAPPED{};
    wait_.hEvent = event;
    mask_ = 0;
    if (WaitCommEvent(handle_, &mask_, &wait_)) {
      wait_pending_ = false;
      SetEvent(event);
      return true;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
      wait_pending_ = true;
      return true;
    }
    wait_pending_ = false;
    return false;
  }

  void OnCommEvent() {
    bool failed = false;
    if (wait_pending_) {
      DWORD n = 0;
      if (!GetOverlappedResult(handle_, &wait_, &n, FALSE)) {
        if (GetLastError() == ERROR_IO_INCOMPLETE) return;
        failed = true;
      }
      wait_pending_ = false;
    }
    ReadAvailable();
    if (failed && HungUp()) {
      // The device is gone (a cable pulled, the far end of a pseudo-terminal
      // closed under Wine): every new wait would fail at once and keep the
      // loop busy. Input() still reads whatever may come.
      Log("the device stopped answering, no longer watching it");
      StopWatching();
      return;
    }
    if (!ArmWait()) {
      // The driver stopped waiting: fall back to polling.
      Log(LastErrorText("WaitCommEvent", GetLastError()) + ", polling the input queue");
      loop_.RemoveHandle(loop_handle_);
      loop_handle_ = 0;
      CloseHandle(wait_.hEvent);
      wait_.hEvent = nullptr;
      polling_ = true;
      poll_timer_ = loop_.AddTimer(kPollMs, [this] { OnPoll(); });
    }
  }

  void OnPoll() {
    poll_timer_ = 0;
    ReadAvailable();
    if (HungUp()) {
      Log("the device stopped answering, no longer polling it");
      polling_ = false;
      return;
    }
    if (handle_ != INVALID_HANDLE_VALUE && polling_) poll_timer_ = loop_.AddTimer(kPollMs, [this] { OnPoll(); });
  }

  // The queue cannot even be asked for its count.
  bool HungUp() {
    DWORD errors = 0;
    COMSTAT stat{};
    return handle_ != INVALID_HANDLE_VALUE && !ClearCommError(handle_, &errors, &stat);
  }

  void ReadAvailable() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    for (;;) {
      DWORD errors = 0;
      COMSTAT stat{};
      if (!ClearCommError(handle_, &errors, &stat) || stat.cbInQue == 0) return;
      std::string chunk(stat.cbInQue, '\0');
      OVERLAPPED ov{};
      ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      DWORD got = 0;
      BOOL ok = ReadFile(handle_, chunk.data(), DWORD(chunk.size()), &got, &ov);
      if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &ov, &got, TRUE);
      CloseHandle(ov.hEvent);
      if (!ok || got == 0) return;
      buffer_.append(chunk.data(), got);
    }
  }

  EventLoop& loop_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  OVERLAPPED wait_{};
  DWORD mask_ = 0;
  bool wait_pending_ = false;
  bool polling_ = false;
  int loop_handle_ = 0;
  int poll_timer_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Create(EventLoop& loop) { return std::make_unique<Win32SerialPort>(loop); }

}  // namespace platform
