#pragma once

// Frames as the console sends them, and a controller brought up the way the console does it.

#include "sim/controller.h"

#include <array>
#include <cstdint>
#include <vector>

namespace relm::sim::test {

using Bytes = std::vector<std::uint8_t>;

// 21 zeros, 0xFF, L + 1 big-endian, the image, a zero and six more zeros.
Bytes downloadFrame(const Bytes &image);

// 0xFF, pair count, pairs.
Bytes registerFrame(const std::vector<RegisterPair> &pairs);

// The four position registers of each train, as the initialisation frame carries them.
using Placement = std::array<std::array<std::uint8_t, 4>, kTrains>;
Bytes initFrame(const Placement &p);

// Registers 3 and 4 of every train, as every command tick sends them.
Bytes commandFrame(const std::array<std::uint8_t, kTrains> &after,
                   const std::array<std::uint8_t, kTrains> &speed);

// Registers 0..3 of a train at `code`: own, behind, next, after next by the plain steps.
std::array<std::uint8_t, 4> placedAt(int code);
inline constexpr std::array<std::uint8_t, 4> kOff{0x80, 0x80, 0x80, 0x80};

// A controller with an empty image downloaded and the trains placed.
Controller runningController(const Placement &p, ControllerConfig config = {});

// Decoded status records of the last complete frame in `out`.
struct Record
{
    std::uint8_t own, behind, next, after, speedRegister, speed, aux, spare;
};
std::array<Record, kTrains> lastStatus(const Bytes &out);

} // namespace relm::sim::test
