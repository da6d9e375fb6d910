// The status view that also keeps the service manager (systemd) informed:
// ready once the first identification has run, found or not, or at once
// when no port is there to identify; the state banner as its status line;
// alive from a timer of the loop, so a loop that stops answering is noticed;
// stopping when the closing begins. Every line still goes to `inner`.
#pragma once

#include <cstdint>
#include <string>

#include "platform/event_loop.h"
#include "platform/service_manager.h"
#include "service/status_view.h"

namespace service {

// `text` (Windows-1252) as one line of UTF-8: controls become spaces, bytes
// the code page lacks "?".
std::string StatusLineUtf8(const std::string& text);

class ServiceManagerView : public StatusView {
 public:
  ServiceManagerView(StatusView& inner, platform::ServiceManager& manager) : inner_(inner), manager_(manager) {}

  // Pings the manager from `loop`'s timer while the loop runs; nothing when
  // no watchdog waits. The loop outlives the pings: they stop with it.
  void KeepAlive(platform::EventLoop& loop);

  void PrinterMessage(const std::string& text) override { inner_.PrinterMessage(text); }
  void ProgramStatus(int16_t port, const std::string& text) override;
  void DetectionStatus(const std::string& text) override { inner_.DetectionStatus(text); }
  void Busy(bool busy, const std::string& tip) override { inner_.Busy(busy, tip); }
  void PortAvailable(int16_t port, bool available) override { inner_.PortAvailable(port, available); }
  void PortBox(int16_t port, bool ticked, bool enabled) override { inner_.PortBox(port, ticked, enabled); }
  void DumpState(int16_t port, const std::string& text) override;
  void PrinterSerial(int16_t port, const std::string& serial) override { inner_.PrinterSerial(port, serial); }
  void DataDirectory(const std::string& path) override { inner_.DataDirectory(path); }
  void WatcherStarted() override { inner_.WatcherStarted(); }
  void TimerControls(bool visible, const std::string& timerText) override { inner_.TimerControls(visible, timerText); }
  void DetectionSettings(bool fast, const std::string& timerText) override {
    inner_.DetectionSettings(fast, timerText);
  }
  void ConfigurationLocked(bool locked) override;
  void TestButtonEnabled(bool enabled) override { inner_.TestButtonEnabled(enabled); }
  void ClosingNotice(const std::string& text) override;
  void MessageBox(const std::string& text) override { inner_.MessageBox(text); }
  void OptionsChanged(const settings::Options& options, bool rtPrinter) override {
    inner_.OptionsChanged(options, rtPrinter);
  }
  void Log(const std::string& text) override { inner_.Log(text); }

 private:
  void Ready();
  void Ping(platform::EventLoop& loop);

  StatusView& inner_;
  platform::ServiceManager& manager_;
  bool ready_ = false;
  bool stopping_ = false;
};

}  // namespace service
