#pragma once

// Register frames written to the track controller: 0xFF, a pair count, then (address, value)
// pairs. Each train owns 14 register addresses; the console writes offsets 0..4 and 7.

#include "model/module1.h"

#include <cstdint>
#include <span>
#include <vector>

namespace relm {

inline constexpr std::uint8_t kFrameStart = 0xFF;
inline constexpr int kRegistersPerTrain = 14;

// Register offsets within a train's block.
inline constexpr int kRegPosition0 = 0; // section the train is in
inline constexpr int kRegPosition1 = 1; // section behind
inline constexpr int kRegPosition2 = 2; // next section
inline constexpr int kRegPosition3 = 3; // section after the next
inline constexpr int kRegSpeed = 4;     // output speed 0..128
inline constexpr int kRegCommand = 7;   // one-shot command (0x20, 0x30, 255)

inline constexpr int kInitPairCount = 12;  // four position registers per train
inline constexpr int kInitFrameBytes = 26; // 2 + 2 * 12

constexpr int registerAddress(int train, int offset)
{
    return kRegistersPerTrain * train + offset;
}

// Appends one (address, value) pair. Every value goes out as its low byte, unclipped.
void appendPair(std::vector<std::uint8_t> &frame, int address, int value);

// One pair of a register frame, its address split into train and register offset.
struct RegisterWrite
{
    int train;
    int offset;
    int value;
};

// The pairs of a frame the console sent (0xFF, count, pairs), as far as its bytes go.
std::vector<RegisterWrite> registerWrites(std::span<const std::uint8_t> frame);

// The initialisation frame: the four position registers of every train as they stand now.
// Fills the point table afterwards, as every initialisation does.
std::vector<std::uint8_t> IniDataSet(Module1 &m);

} // namespace relm
