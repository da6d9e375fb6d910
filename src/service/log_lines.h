// The Linux daemon's log lines: one line per change of the service's state,
// with the local time and the port it concerns.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/system.h"
#include "service/service_state.h"

namespace service {

// "12:47:03 COM1 Stato: QUILO1 TERMINATO : TUTTO OK"; port 0 leaves the
// port out.
std::string StatusLine(const platform::LocalTime& time, int16_t port, const std::string& label,
                       const std::string& text);

// The label and text of the line a change writes; false for a change only a
// window shows.
bool LogEntry(const ServiceState& state, StateChange change, std::string* label, std::string* text);

// A subscriber that writes each change's line: to standard error and with
// the system clock unless given.
std::function<void(const ServiceState&, StateChange)> LogLines(
    std::function<void(const std::string& line)> write = nullptr,
    std::function<platform::LocalTime()> clock = nullptr);

}  // namespace service
