// The scripted serial port: replies are delivered through event-loop timers
// so they arrive on the loop's (possibly virtual) clock.
#include "testing/fake_serial_port.h"

#include <cstdio>

namespace testing_support {

FakeSerialPort::~FakeSerialPort() {
  for (int id : pending_) loop_.CancelTimer(id);
}

bool FakeSerialPort::Configure(int port) {
  if (!device_present) {
    error_ = "no such device";
    return false;
  }
  if (open_ && port != port_) {
    error_ = "port already open";
    return false;
  }
  port_ = port;
  return true;
}

bool FakeSerialPort::Open() {
  if (!device_present || open_fails) {
    error_ = "cannot open";
    return false;
  }
  open_ = true;
  ++opens_;
  return true;
}

void FakeSerialPort::Close() {
  if (open_) ++closes_;
  open_ = false;
}

std::string FakeSerialPort::Input() {
  std::string out;
  out.swap(buffer_);
  return out;
}

bool FakeSerialPort::Output(const std::string& bytes) {
  if (!open_) return false;
  writes_.push_back(bytes);
  if (!script_) return true;
  for (const Reply& r : script_(bytes)) {
    std::string chunk = r.bytes;
    pending_.push_back(loop_.AddTimer(r.delay_ms, [this, chunk] { buffer_ += chunk; }));
  }
  return true;
}

std::vector<std::string> FakeSerialPort::frames() const {
  std::vector<std::string> out;
  for (const auto& w : writes_) {
    if (w != std::string(1, char(6))) out.push_back(w);
  }
  return out;
}

SentFrame ParseFrame(const std::string& frame) {
  SentFrame f;
  if (frame.size() < 7 || frame.front() != 2 || frame.back() != 3) return f;
  f.valid = true;
  f.sequence = frame.substr(1, 2);
  f.command = frame.substr(4, frame.size() - 7);
  f.checksum = frame.substr(frame.size() - 3, 2);
  return f;
}

std::string AnswerFrame(const std::string& seq, const std::string& body) {
  std::string text = seq + "0" + body;
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  char cs[8];
  std::snprintf(cs, sizeof cs, "%02u", sum % 100);
  return std::string(1, char(2)) + text + cs + std::string(1, char(3));
}

FakeSerialPort::Script Printer(std::function<std::string(const std::string& command)> answer, int64_t delay_ms) {
  return [answer = std::move(answer), delay_ms](const std::string& written) -> std::vector<FakeSerialPort::Reply> {
    SentFrame f = ParseFrame(written);
    if (!f.valid) return {};
    std::string body = answer(f.command);
    if (body.empty()) return {};
    return {{AnswerFrame(f.sequence, body), delay_ms}};
  };
}

}  // namespace testing_support
