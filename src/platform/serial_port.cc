// What the two serial backends share: the input buffer, the log and the
// names of the devices.
#include "platform/serial_port.h"

#include <cstdio>
#include <map>

namespace platform {
namespace {

std::map<int, std::string>& DeviceMap() {
  static std::map<int, std::string> map;
  return map;
}

}  // namespace

std::string BufferedSerialPort::Input() {
  ReadAvailable();
  std::string out;
  out.swap(buffer_);
  return out;
}

int BufferedSerialPort::InBufferCount() {
  ReadAvailable();
  return int(buffer_.size());
}

void BufferedSerialPort::Log(const std::string& text) const {
#ifdef _WIN32
  const std::string line = "COM" + std::to_string(port_) + ": " + text;
#else
  const std::string line = "COM" + std::to_string(port_) + " (" + SerialDeviceName(port_) + "): " + text;
#endif
  if (log_)
    log_(line);
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

std::string SerialDeviceName(int port) {
  auto it = DeviceMap().find(port);
  if (it != DeviceMap().end()) return it->second;
#ifdef _WIN32
  return "\\\\.\\COM" + std::to_string(port);
#else
  return "/dev/ttyS" + std::to_string(port - 1);
#endif
}

void SetSerialDevice(int port, const std::string& device) { DeviceMap()[port] = device; }

}  // namespace platform
