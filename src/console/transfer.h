#pragma once

// The steps of Transfer that decide what reaches the controller, shared by every way of
// operating and by the soak: the start positions are read and checked before anything is sent,
// a stop command still waiting from Reset goes out before the download, and the new cycle
// starts from positions just checked, with no request left over and every train at standstill.

#include "initdata/load_ini.h"
#include "model/module1.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace relm {

inline constexpr const char *kIniFileName = "atc.ini";

// PosCode0..PosCode3 of every train as atc.ini places them.
struct StartPositions
{
    std::array<std::array<std::int16_t, 4>, kTrainCount> codes{};
};

// The positions the trains hold now, as a Transfer that leaves them where they are would place them.
StartPositions positionsOf(const Module1 &m);

// The outcome of reading atc.ini before a Transfer: the positions, or where and why it failed.
struct StartPositionsCheck
{
    IniLoadResult result; // ok(), or the file, line, value and what is wrong
    StartPositions positions; // meaningful only when result.ok()
};

// Reads and checks the whole file; changes no table.
StartPositionsCheck readStartPositions(const std::string &path = kIniFileName);

// The frame carrying a stop command that Reset left for the next tick, built and consumed as
// that tick would (speeds ramped, the stop sent once); empty when no stop waits. Sent before a
// download, so the old cycle ends with its stop and nothing of it follows the new program.
std::vector<std::uint8_t> takePendingStop(Module1 &m);

// The state a completed download leaves: the trains placed as checked, initialisation pending,
// no command, point request or reversal from before (they were worked out from positions the
// new initialisation frame replaces), and every train's sent and target speed 0, so each starts
// from standstill and the ramp brings it up towards its slider.
void startCycle(Module1 &m, const StartPositions &positions);

} // namespace relm
