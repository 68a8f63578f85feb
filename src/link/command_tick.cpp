#include "link/command_tick.h"

#include "link/register_frames.h"

#include <algorithm>

namespace relm {
namespace {

// Moves each output speed one step towards its target. Going down stops at 0, not at the
// target: the next tick's step up brings it back.
void rampSpeeds(Module1 &m)
{
    for (int t = 0; t < kTrainCount; ++t) {
        const int out = m.OutSpeed[t];
        const int target = m.TargetSpeed[t];
        if (out < target)
            m.OutSpeed[t] = static_cast<std::int16_t>(std::min(out + kRampStep, target));
        else if (out > target)
            m.OutSpeed[t] = static_cast<std::int16_t>(std::max(out - kRampStep, 0));
    }
}

bool commandPending(const Module1 &m, int t)
{
    return m.TrainCmd[t] != kCmdNone;
}
bool reversalPending(const Module1 &m, int t)
{
    return m.RevState[t] == kRevReady;
}

// Base pairs for every train, then pending commands, then pending reversals, each group in
// train order. Sending a command or a reversal consumes it.
std::vector<std::uint8_t> commandFrame(Module1 &m)
{
    int pairs = kBasePairCount;
    for (int t = 0; t < kTrainCount; ++t) {
        if (commandPending(m, t))
            pairs += 2;
        if (reversalPending(m, t))
            pairs += 4;
    }

    std::vector<std::uint8_t> frame;
    frame.reserve(static_cast<std::size_t>(2 + 2 * pairs));
    frame.push_back(kFrameStart);
    frame.push_back(static_cast<std::uint8_t>(pairs));
    for (int t = 0; t < kTrainCount; ++t) {
        appendPair(frame, registerAddress(t, kRegPosition3), m.PosCode3[t]);
        appendPair(frame, registerAddress(t, kRegSpeed), m.OutSpeed[t]);
    }
    for (int t = 0; t < kTrainCount; ++t) {
        if (!commandPending(m, t))
            continue;
        appendPair(frame, registerAddress(t, kRegPosition2), m.PosCode2[t]);
        appendPair(frame, registerAddress(t, kRegCommand), m.TrainCmd[t]);
        m.TrainCmd[t] = kCmdNone;
    }
    for (int t = 0; t < kTrainCount; ++t) {
        if (!reversalPending(m, t))
            continue;
        appendPair(frame, registerAddress(t, kRegPosition0), m.RevCode0[t]);
        appendPair(frame, registerAddress(t, kRegPosition1), m.RevCode1[t]);
        appendPair(frame, registerAddress(t, kRegPosition2), m.RevCode2[t]);
        appendPair(frame, registerAddress(t, kRegPosition3), m.RevCode3[t]);
        m.RevState[t] = kRevIdle;
    }
    return frame;
}

} // namespace

TickResult commandTick(Module1 &m, bool exitPending)
{
    TickResult result;
    if (m.InitSent == kFalse) {
        // The first tick after a download only initialises; the interval stays at 1000 ms and a
        // pending stop or exit waits for the next tick.
        result.bytes = IniDataSet(m);
        m.InitSent = kTrue;
        return result;
    }

    result = commandFrameTick(m);
    result.endProgram = exitPending;
    return result;
}

TickResult commandFrameTick(Module1 &m)
{
    TickResult result;
    result.intervalMs = kCommandIntervalMs;
    if (m.TrainCmd[0] == kCmdStop)
        result.timerEnabled = false; // this tick's frame still carries the stop
    rampSpeeds(m);
    result.bytes = commandFrame(m);
    return result;
}

} // namespace relm
