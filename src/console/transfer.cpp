#include "console/transfer.h"

#include "link/command_tick.h"

namespace relm {

StartPositions positionsOf(const Module1 &m)
{
    StartPositions p;
    for (int t = 0; t < kTrainCount; ++t)
        p.codes[t] = {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t], m.PosCode3[t]};
    return p;
}

StartPositionsCheck readStartPositions(const std::string &path)
{
    // Loaded into a scratch copy, so that a file failing half way changes nothing real.
    Module1 scratch;
    StartPositionsCheck check;
    check.result = LoadIni(scratch, path);
    check.positions = positionsOf(scratch);
    return check;
}

std::vector<std::uint8_t> takePendingStop(Module1 &m)
{
    if (m.TrainCmd[0] != kCmdStop)
        return {};
    return commandFrameTick(m).bytes;
}

void startCycle(Module1 &m, const StartPositions &positions)
{
    for (int t = 0; t < kTrainCount; ++t) {
        const auto &c = positions.codes[t];
        m.PosCode0[t] = c[0];
        m.PosCode1[t] = c[1];
        m.PosCode2[t] = c[2];
        m.PosCode3[t] = c[3];
    }
    m.TrainCmd.fill(kCmdNone);
    m.RevState.fill(kRevIdle);
    m.PointReq.fill(0);
    m.PointArmed.fill(kFalse);
    m.PointBlocked.fill(kFalse);
    m.OutSpeed.fill(0);
    m.TargetSpeed.fill(0);
    m.InitSent = kFalse;
}

} // namespace relm
