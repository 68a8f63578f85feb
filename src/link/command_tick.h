#pragma once

// One tick of the command cycle (Timer1): the initialisation frame on the first tick after a
// download, then a command frame per tick carrying ramped speeds, one-shot commands and
// reversals. The tick writes nothing itself; it returns the bytes for the serial port.

#include "model/module1.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace relm {

inline constexpr int kCommandIntervalMs = 200;
inline constexpr int kRampStep = 20;     // speed units per tick, up or down
inline constexpr int kBasePairCount = 6; // register 3 and the speed register of every train

// What the timer and the port must do after one tick.
struct TickResult
{
    std::vector<std::uint8_t> bytes; // frame to write, whole and in order
    std::optional<int> intervalMs;   // new timer interval; empty leaves it as it is
    bool timerEnabled = true;        // false once the stop command has gone out
    bool endProgram = false;         // Exit waited for this frame; end after writing it
};

// Runs one tick on the shared tables. exitPending is the main window's ExitPending flag.
TickResult commandTick(Module1 &m, bool exitPending);

// The command-frame part of a tick, whether or not the initialisation has gone out: ramps the
// speeds and builds the frame, consuming the commands and reversals it carries. The timer is
// to stop when the frame carries the stop command.
TickResult commandFrameTick(Module1 &m);

} // namespace relm
