// A scripted serial port for tests: every write is recorded and may be
// answered, after a delay on the event loop's clock, by scripted bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/serial_port.h"

namespace testing_support {

class FakeSerialPort : public platform::SerialPort {
 public:
  struct Reply {
    std::string bytes;
    int64_t delay_ms = 0;
  };
  // Called with the bytes of every Output; returns what the device sends
  // back, each chunk after its own delay from the write.
  using Script = std::function<std::vector<Reply>(const std::string& written)>;

  explicit FakeSerialPort(platform::EventLoop& loop) : loop_(loop) {}
  ~FakeSerialPort() override;

  void SetScript(Script script) { script_ = std::move(script); }
  // Puts bytes into the receive buffer now.
  void Receive(const std::string& bytes) { buffer_ += bytes; }

  // Every Output in order, and the same without the link's lone ACKs.
  const std::vector<std::string>& writes() const { return writes_; }
  std::vector<std::string> frames() const;
  int opens() const { return opens_; }
  int closes() const { return closes_; }

  // Faults: the device is missing, or opening it fails.
  bool device_present = true;
  bool open_fails = false;

  bool Configure(int port) override;
  bool Open() override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  int port() const override { return port_; }
  std::string Input() override;
  int InBufferCount() override { return int(buffer_.size()); }
  bool Output(const std::string& bytes) override;
  std::string error() const override { return error_; }
  void SetLog(std::function<void(const std::string&)>) override {}

 private:
  platform::EventLoop& loop_;
  Script script_;
  std::string buffer_;
  std::vector<std::string> writes_;
  std::vector<int> pending_;
  std::string error_;
  bool open_ = false;
  int port_ = 0;
  int opens_ = 0;
  int closes_ = 0;
};

// A frame the link sent, taken apart.
struct SentFrame {
  bool valid = false;
  std::string sequence;
  std::string command;
  std::string checksum;
};
SentFrame ParseFrame(const std::string& frame);

// The printer's answer to a frame with sequence `seq`: STX, seq, "0", body,
// checksum, ETX.
std::string AnswerFrame(const std::string& seq, const std::string& body);

// A well-behaved printer: each frame gets AnswerFrame(seq, answer(command))
// after `delay_ms`; an empty answer() means silence. ACKs get nothing.
FakeSerialPort::Script Printer(std::function<std::string(const std::string& command)> answer,
                               int64_t delay_ms = 10);

}  // namespace testing_support
