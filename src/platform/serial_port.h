// The printer's serial port: one interface, a termios and a Win32 backend.
// The port buffers what arrives while the event loop runs, so a wait can
// block in the loop and wake as soon as bytes come in.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/event_loop.h"

namespace platform {

// Abstract so the printer link can be tested against a scripted fake.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Selects port `port` (1 to 99) and its line settings: 19200 baud, odd
  // parity, 7 data bits, 1 stop bit, no handshaking, DTR and RTS on. When the
  // port is already open the settings are applied again at once. Fails when
  // the device does not exist or another port is open.
  virtual bool Configure(int port) = 0;
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // The port number last configured, 0 before.
  virtual int port() const = 0;

  // Everything received and not yet taken; empty when nothing waits. Never
  // blocks.
  virtual std::string Input() = 0;
  // Number of bytes Input() would return now.
  virtual int InBufferCount() = 0;
  // Sends all of `bytes`; false when the port is closed or the write failed.
  virtual bool Output(const std::string& bytes) = 0;

  // Text of the last failure of Configure, Open or Output.
  virtual std::string error() const = 0;

  // Where tolerated faults go (a device that refuses a line setting, a
  // driver that refuses DTR). Unset, they go to standard error.
  virtual void SetLog(std::function<void(const std::string&)> log) = 0;

  static std::unique_ptr<SerialPort> Create(EventLoop& loop);
};

// What both backends share: the port number, the bytes received and not yet
// taken, the last failure and where tolerated faults go.
class BufferedSerialPort : public SerialPort {
 public:
  int port() const override { return port_; }
  std::string Input() override;
  int InBufferCount() override;
  std::string error() const override { return error_; }
  void SetLog(std::function<void(const std::string&)> log) override { log_ = std::move(log); }

 protected:
  // Moves what the driver holds into `buffer_`, without waiting.
  virtual void ReadAvailable() = 0;
  // `text` after the port's name, to the log or else to standard error.
  void Log(const std::string& text) const;

  int port_ = 0;
  std::string buffer_;
  std::string error_;
  std::function<void(const std::string&)> log_;
};

// The device behind port n: "/dev/ttyS(n-1)" on POSIX, "\\.\COMn" on Win32,
// unless SetSerialDevice mapped it elsewhere (quilo1 --com N=DEVICE).
std::string SerialDeviceName(int port);
void SetSerialDevice(int port, const std::string& device);

}  // namespace platform
