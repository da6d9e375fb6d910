// The service's state and its publication.
#include "service/status_view.h"

#include <algorithm>

#include "service/version.h"

namespace service {

StatusView::StatusView() { state_.version = VersionText(); }

int StatusView::Subscribe(Subscriber subscriber) {
  subscribers_.emplace_back(nextId_, std::move(subscriber));
  return nextId_++;
}

void StatusView::Unsubscribe(int id) {
  std::erase_if(subscribers_, [id](const auto& s) { return s.first == id; });
}

void StatusView::Publish(Shown what, int16_t port) {
  // A subscriber may subscribe or leave meanwhile.
  auto subscribers = subscribers_;
  for (auto& s : subscribers) s.second(state_, {what, port});
}

void StatusView::Busy(bool busy) {
  state_.busy = busy;
  state_.trayTip = busy ? kBusyTip : kIdleTip;
  Publish(Shown::kTrayIcon);
}

void StatusView::PortAvailable(int16_t port, bool available) {
  PortStatus* p = Port(port);
  if (!p) return;
  p->available = available;
  if (!available) p->ticked = p->enabled = false;
  Publish(Shown::kPortAvailable, port);
}

void StatusView::PortBox(int16_t port, bool ticked, bool enabled) {
  PortStatus* p = Port(port);
  if (!p) return;
  p->ticked = ticked;
  p->enabled = enabled;
  Publish(Shown::kPortBox, port);
}

void StatusView::PrinterSerial(int16_t port, const std::string& serial, bool rt) {
  PortStatus* p = Port(port);
  if (!p) return;
  p->serial = serial;
  p->mode = serial.empty() ? "" : rt ? "RT" : "MF";
  Publish(Shown::kSerial, port);
}

void StatusView::SettingsShown(const settings::Settings& settings, Shown what) {
  for (int n = 0; n < 4; ++n) state_.ports[n].ticked = settings.portEnabled[n];
  state_.fastDetection = settings.options.OptionFAST;
  state_.timerText = settings.timerText;
  state_.intervalMs = settings.pollInterval;
  state_.options = settings.options;
  Publish(what);
}

void StatusView::OptionsChanged(const settings::Options& options, bool rtPrinter) {
  state_.options = options;
  state_.rtPrinter = rtPrinter;
  Publish(Shown::kOptions);
}

void StatusView::ClosingNotice(const std::string& text) {
  state_.busy = false;
  state_.trayTip.clear();
  Publish(Shown::kTrayIcon);
  state_.closingNotice = state_.programStatus = text;
  Publish(Shown::kClosingNotice);
}

void StatusView::Units(int runningPort, const std::string& running, int queued, uint64_t paperEndWaits,
                       uint64_t recoveries) {
  state_.runningPort = runningPort;
  state_.runningUnit = running;
  state_.queued = queued;
  state_.paperEndWaits = paperEndWaits;
  state_.journalRecoveries = recoveries;
  Publish(Shown::kUnits);
}

}  // namespace service
