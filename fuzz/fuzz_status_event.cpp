// Status frames of any length and content, from any state of the train tables, with command
// ticks and operator commands in between. Besides the sanitizers it holds the frame rules: a
// block shorter than a frame changes nothing, a decoded frame lands in the tables, and every
// command frame is as long as its pair count says.

#include "module_tables.h"

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "link/command_tick.h"
#include "link/status_event.h"
#include "model/section_code.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using namespace relm;

void checkHexText(const std::string &text, std::size_t bytes)
{
    if (static_cast<std::size_t>(std::count(text.begin(), text.end(), ' ')) != bytes)
        broken("Label1 shows one space per byte");
    if (!text.empty() && text.back() != ' ')
        broken("Label1 ends with a space");
    for (const char c : text) {
        if (c != ' ' && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'F'))
            broken("Label1 is upper-case hex");
    }
}

void statusBlock(Module1 &m, FuzzedDataProvider &in, BarFrame frame)
{
    const std::vector<std::uint8_t> block =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    const Module1 before = m;
    const StatusView view = statusEvent(m, block, frame);
    checkHexText(view.label1Text, block.size());

    // Before the initialisation frame has gone out, a frame would replace the loaded positions.
    if (block.size() < kStatusFrameBytes || before.InitSent == kFalse) {
        if (view.decoded || !sameTables(before, m) || view.mapRedraws != 0)
            broken("a short block, or any block before the initialisation frame, changes nothing");
        return;
    }
    if (!view.decoded)
        broken("a whole frame is decoded");
    int moved = 0;
    for (int t = 0; t < kTrainCount; ++t) {
        const std::size_t at = static_cast<std::size_t>(8 * t);
        if (m.PosCode0[t] != block[at] || m.PosCode1[t] != block[at + 1]
            || m.StatusAux[t] != block[at + 6])
            broken("a decoded record is stored");
        // The reported next section is taken, except where a point route is being set: armed by
        // this frame, or armed earlier and its command still waiting for the tick.
        const bool armedNow = m.PointArmed[t] != kFalse && before.PointArmed[t] == kFalse;
        const bool commandWaits = before.TrainCmd[t] == kCmdSetPoint && before.PosCode0[t] == block[at];
        if (!armedNow && !commandWaits && m.PosCode2[t] != block[at + 2])
            broken("PosCode2 is the reported next section unless a point route is being set");
        if (before.PosCode0[t] != block[at] && block[at] < kAbsentCode)
            ++moved;
        if (!view.trains[t].caption)
            broken("every decoded train shows its codes");
    }
    if (view.mapRedraws != moved)
        broken("one map redraw per placed train that moved");
}

void tick(Module1 &m, FuzzedDataProvider &in)
{
    const Module1 before = m;
    const TickResult r = commandTick(m, in.ConsumeBool());
    const std::vector<std::uint8_t> &b = r.bytes;
    if (b.size() < 2 || b[0] != 0xFF || b.size() != 2 + 2 * std::size_t{b[1]})
        broken("a register frame is 0xFF, a count and that many pairs");
    if (before.InitSent == kFalse) {
        if (b[1] != 12 || m.InitSent != kTrue || r.endProgram || r.intervalMs)
            broken("the first tick sends only the initialisation frame");
        return;
    }
    if (b[1] < 6 || b[1] > 24)
        broken("a command frame has 6 to 24 pairs");
    if (r.timerEnabled != (before.TrainCmd[0] != kCmdStop))
        broken("only the stop command stops the cycle");
    for (int t = 0; t < kTrainCount; ++t) {
        if (m.TrainCmd[t] != kCmdNone || m.RevState[t] == kRevReady)
            broken("a command or reversal is sent once");
        const int out = before.OutSpeed[t];
        const int target = before.TargetSpeed[t];
        if (out >= 0 && out <= 128 && target >= 0 && target <= 128) {
            const int now = m.OutSpeed[t];
            if (now < 0 || now > 128 || now - out > 20 || out - now > 20)
                broken("the ramp moves at most 20 and stays within 0..128");
        }
    }
}

void operatorCommand(Module1 &m, FuzzedDataProvider &in)
{
    const int t = in.ConsumeIntegralInRange(0, 2);
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
        sliderMoved(m, t, 128, in.ConsumeIntegralInRange(0, 128));
        break;
    case 1:
        stopPressed(m, t);
        break;
    case 2:
        pointPressed(m, t);
        break;
    case 3:
        reversePressed(m, t);
        break;
    case 4:
        resetPressed(m);
        break;
    default: // a Transfer that places the trains where they are
        startCycle(m, positionsOf(m));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    Module1 m;
    fillTables(m, in);
    BarFrame frame{1575, 1920};
    if (in.ConsumeBool()) {
        frame.height = in.ConsumeIntegralInRange(-100000, 100000);
        frame.top = in.ConsumeIntegralInRange(-100000, 100000);
    }
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1:
            statusBlock(m, in, frame);
            break;
        case 2:
            tick(m, in);
            break;
        default:
            operatorCommand(m, in);
            break;
        }
    }
    return 0;
}
