// Console status view: the time-stamped lines of the Linux daemon.
#include "service/console_view.h"

#include <cstdio>

namespace service {

std::string StatusLine(const platform::LocalTime& time, int16_t port, const std::string& label,
                       const std::string& text) {
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", time.hour % 100, time.minute % 100, time.second % 100);
  std::string line = stamp;
  if (port != 0) line += " COM" + std::to_string(port);
  line += " " + label;
  if (!text.empty()) line += " " + text;
  return line;
}

ConsoleStatusView::ConsoleStatusView(Writer write, Clock clock)
    : write_(std::move(write)), clock_(clock ? std::move(clock) : Clock(platform::NowLocal)) {
  if (!write_) {
    write_ = [](const std::string& line) {
      std::string l = line + "\n";
      std::fwrite(l.data(), 1, l.size(), stderr);
      std::fflush(stderr);
    };
  }
}

void ConsoleStatusView::Line(int16_t port, const char* label, const std::string& text) {
  write_(StatusLine(clock_(), port, label, text));
}

}  // namespace service
