#pragma once

// Virtual time of the simulated controller. The controller has no clock of its own: whoever
// drives it (the pty server, a soak test, a replay tool) advances it with Controller::step().

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace relm::sim {

using Duration = std::chrono::microseconds;
using Time = std::chrono::microseconds; // since the controller was switched on

// Receives one human-readable line, stamped with the virtual time it happened at.
using LogSink = std::function<void(Time, std::string_view)>;

// "12.345 s" style stamp for log lines.
std::string formatTime(Time t);

} // namespace relm::sim
