#pragma once

// Frames as the console sends them, and a controller brought up the way the console does it.

#include "sim/controller.h"

#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

namespace relm::sim::test {

using Bytes = std::vector<std::uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts);

// 21 zeros, 0xFF, L + 1 big-endian, the image, a zero and six more zeros.
Bytes downloadFrame(const Bytes &image);
// 0xFF, pair count, pairs.
Bytes registerFrame(const std::vector<RegisterPair> &pairs);
// A register frame from (train, offset, value) writes.
Bytes trainFrame(const std::vector<std::tuple<int, int, int>> &writes);

// Registers 0..3 of each train, as the initialisation frame carries them.
using Placement = std::array<std::array<std::uint8_t, 4>, kTrains>;
Bytes initFrame(const Placement &p);
// Registers 3 and 4 of every train, as every command tick sends them.
Bytes commandFrame(const std::array<int, kTrains> &after, const std::array<int, kTrains> &speed);

// Registers 0..3 of a train at `code`: own, behind, next, after next by the plain steps.
std::array<std::uint8_t, 4> placedAt(int code);
inline constexpr std::array<std::uint8_t, 4> kOff{0x80, 0x80, 0x80, 0x80};

// A controller with an empty image downloaded and the trains placed.
Controller runningController(const Placement &p);

// The 8-byte status record of each train in the last complete frame of `out`.
using Record = std::array<std::uint8_t, kStatusRecordBytes>;
std::array<Record, kTrains> lastStatus(const Bytes &out);
inline constexpr std::size_t kOwn = 0, kAfter = 3, kSpeed = 5, kAux = 6;

} // namespace relm::sim::test
