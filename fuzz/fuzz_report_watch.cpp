// Status blocks of any length and content through the status event with the report watch, from
// any state of the train tables, with command ticks (the frames they send, or any bytes) and
// operator commands in between, and time moving on by any amount. Besides the sanitizers it
// holds the watch's rules: only whole frames (of the length learnt from the blocks) are
// decoded, a held train is given target speed 0, and the window caption is only ever one of the
// watch's four.

#include "module_tables.h"

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "link/command_tick.h"
#include "link/report_watch.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace relm;

void checkShown(const std::optional<std::string> &caption)
{
    if (caption && *caption != kCaptionNormal && *caption != kCaptionImplausible &&
        *caption != kCaptionSilent && *caption != kCaptionNoProgress)
        broken("the window caption is one of the watch's");
}

void checkHeld(const Module1 &m, const ReportWatch &watch)
{
    for (int t = 0; t < kTrainCount; ++t) {
        if (watch.held(t) && m.TargetSpeed[t] != 0)
            broken("a held train is given target speed 0");
    }
}

// The frame length the watch should have settled on: 24 bytes, until three blocks of exactly 23
// have come in a row; from then on 23 for good.
struct FrameLength
{
    std::size_t bytes = 24;
    int shortInARow = 0;

    void seen(std::size_t block)
    {
        if (bytes == 23)
            return;
        shortInARow = block == 23 ? shortInARow + 1 : 0;
        if (shortInARow >= 3)
            bytes = 23;
    }
};

void statusBlock(Module1 &m, ReportWatch &watch, FrameLength &length, FuzzedDataProvider &in,
                 WatchClock now)
{
    const std::vector<std::uint8_t> block =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 72));
    const Module1 before = m;
    const StatusView view = statusEvent(m, watch, block, BarFrame{1575, 1920}, now);
    const bool looked = !block.empty() && before.InitSent != kFalse;
    if (looked)
        length.seen(block.size());
    const bool whole = looked && block.size() % length.bytes == 0;
    if (view.decoded != whole)
        broken("whole frames, and only they, are decoded once the cycle is initialised");
    if (!whole && (!sameTables(before, m) || view.mapRedraws != 0))
        broken("a block that is not whole frames changes nothing");
    checkShown(view.windowCaption);
    checkHeld(m, watch);
}

void tick(Module1 &m, ReportWatch &watch, FuzzedDataProvider &in, WatchClock now)
{
    std::vector<std::uint8_t> sent;
    if (in.ConsumeBool())
        sent = commandTick(m, false).bytes;
    else
        sent = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 60));
    const WatchTickView view = watch.afterTick(m, sent, now);
    checkShown(view.windowCaption);
    checkHeld(m, watch);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    Module1 m;
    fillTables(m, in);
    WatchSettings settings;
    if (in.ConsumeBool()) {
        settings.confirm = WatchClock{in.ConsumeIntegralInRange(0, 5000)};
        settings.adopt = WatchClock{in.ConsumeIntegralInRange(0, 5000)};
        settings.stuckSections = in.ConsumeFloatingPointInRange(0.0, 10.0);
    }
    ReportWatch watch(settings);
    FrameLength length;
    WatchClock now{in.ConsumeIntegral<std::int32_t>()};
    while (in.remaining_bytes() > 0) {
        now += WatchClock{in.ConsumeIntegralInRange(0, 3000)};
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0:
        case 1:
            statusBlock(m, watch, length, in, now);
            break;
        case 2:
            tick(m, watch, in, now);
            break;
        case 3:
            pointPressed(m, in.ConsumeIntegralInRange(0, 2));
            break;
        default:
            if (in.ConsumeBool())
                reversePressed(m, in.ConsumeIntegralInRange(0, 2));
            else
                startCycle(m, positionsOf(m));
            break;
        }
    }
    return 0;
}
