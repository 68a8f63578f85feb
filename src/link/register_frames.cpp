#include "link/register_frames.h"

namespace relm {

void appendPair(std::vector<std::uint8_t> &frame, int address, int value)
{
    frame.push_back(static_cast<std::uint8_t>(address & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::vector<RegisterWrite> registerWrites(std::span<const std::uint8_t> frame)
{
    std::vector<RegisterWrite> writes;
    if (frame.size() < 2 || frame[0] != kFrameStart)
        return writes;
    for (std::size_t k = 0; k < frame[1] && 3 + 2 * k < frame.size(); ++k) {
        const int address = frame[2 + 2 * k];
        writes.push_back({address / kRegistersPerTrain, address % kRegistersPerTrain,
                          frame[3 + 2 * k]});
    }
    return writes;
}

std::vector<std::uint8_t> IniDataSet(Module1 &m)
{
    std::vector<std::uint8_t> frame;
    frame.reserve(kInitFrameBytes);
    frame.push_back(kFrameStart);
    frame.push_back(static_cast<std::uint8_t>(kInitPairCount));
    for (int t = 0; t < kTrainCount; ++t) {
        appendPair(frame, registerAddress(t, kRegPosition0), m.PosCode0[t]);
        appendPair(frame, registerAddress(t, kRegPosition1), m.PosCode1[t]);
        appendPair(frame, registerAddress(t, kRegPosition2), m.PosCode2[t]);
        appendPair(frame, registerAddress(t, kRegPosition3), m.PosCode3[t]);
    }
    fillPointTable(m);
    return frame;
}

} // namespace relm
