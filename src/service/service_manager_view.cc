// The service manager kept informed beside the status lines.
#include "service/service_manager_view.h"

#include "language/cp1252.h"

namespace service {

std::string StatusLineUtf8(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    uint32_t cp = c;
    if (c < 0x20 || c == 0x7F) {
      cp = ' ';
    } else if (c >= 0x80 && c < 0xA0) {
      cp = language::kWindows1252High[c - 0x80];
      if (cp == 0) cp = '?';
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

ServiceManagerView::ServiceManagerView(StatusView& view, platform::ServiceManager& manager) : manager_(manager) {
  view.Subscribe([this](const ServiceState& state, StateChange change) { Seen(state, change); });
}

void ServiceManagerView::KeepAlive(platform::EventLoop& loop) {
  if (manager_.AliveIntervalMs() > 0) loop.AddTimer(manager_.AliveIntervalMs(), [this, &loop] { Ping(loop); });
}

void ServiceManagerView::Ping(platform::EventLoop& loop) {
  manager_.Alive();
  KeepAlive(loop);
}

void ServiceManagerView::Seen(const ServiceState& state, StateChange change) {
  switch (change.what) {
    case Shown::kProgramStatus:
      manager_.Status(StatusLineUtf8(state.programStatus));
      break;
    // A dump's end, whatever it found: the first identification has run.
    case Shown::kDumpState:
      Ready();
      break;
    // The start leaves the options unlocked when no port is there to serve:
    // no identification will run, and waiting for one would keep the unit
    // starting.
    case Shown::kConfiguration:
      if (!state.configurationLocked) Ready();
      break;
    case Shown::kClosingNotice:
      if (!stopping_) manager_.Stopping();
      stopping_ = true;
      break;
    default:
      break;
  }
}

void ServiceManagerView::Ready() {
  if (ready_ || stopping_) return;
  ready_ = true;
  manager_.Ready();
}

}  // namespace service
