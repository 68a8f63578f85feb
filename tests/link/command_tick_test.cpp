#include "link/command_tick.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A running cycle: trains on routes 0, 1, 2 at steady speeds 40, 0, 128. Entries beyond a byte
// go out as their low byte, neither clipped nor masked to a section code.
Module1 running()
{
    Module1 m;
    m.InitSent = kTrue;
    m.PosCode2 = {0x02, 0x10A, 0x12, 0};
    m.PosCode3 = {0x03, 0x0B, 0x180, 0};
    m.OutSpeed = m.TargetSpeed = {40, 0, 128, 0};
    m.RevCode0 = {0x20, 0x28, -208, 0};
    m.RevCode1 = {0x21, 0x29, 0x31, 0};
    m.RevCode2 = {0x27, 0x2F, 0x37, 0};
    m.RevCode3 = {0x26, 0x2E, 0x36, 0};
    return m;
}

// FF n, the base pairs 03 p0 04 s0 11 p1 12 s1 1F p2 20 s2, then the extra pairs.
Bytes frame(int pairs, const Bytes &extra)
{
    Bytes b{0xFF, static_cast<std::uint8_t>(pairs)};
    b.insert(b.end(), {0x03, 0x03, 0x04, 0x28, 0x11, 0x0B, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x80});
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

// The commands and reversal states pending before the tick, and the frame it must send.
using FrameCase = std::tuple<Module1::Table4, Module1::Table3, Bytes>;
using CommandFrameTest = testing::TestWithParam<FrameCase>;

// Base pairs, then commands, then reversals, each group in train order; each goes out once.
// A stop still goes out, and the timer stops with it.
TEST_P(CommandFrameTest, SendsWhatIsPendingOnce)
{
    const auto &[cmd, rev, expected] = GetParam();
    Module1 m = running();
    m.TrainCmd = cmd;
    m.RevState = rev;
    const TickResult r = commandTick(m, false);
    EXPECT_EQ(r.bytes, expected);
    EXPECT_EQ(r.intervalMs, kCommandIntervalMs);
    EXPECT_EQ(r.timerEnabled, cmd[0] != kCmdStop);
    EXPECT_FALSE(r.endProgram);
    EXPECT_EQ(commandTick(m, false).bytes, frame(6, {}));
}

const Bytes kEverything{0x02, 0x02, 0x07, 0x20, 0x10, 0x0A, 0x15, 0x30, 0x1E, 0x12, 0x23, 0x20,
                        0x00, 0x20, 0x01, 0x21, 0x02, 0x27, 0x03, 0x26, 0x0E, 0x28, 0x0F, 0x29,
                        0x10, 0x2F, 0x11, 0x2E, 0x1C, 0x30, 0x1D, 0x31, 0x1E, 0x37, 0x1F, 0x36};

// Requested and stopping reversals (RevState 1, 2) are not ready to go out; 3 is. A point
// command (0x30) for Y, a reversal for Z, everything at once, and Reset.
INSTANTIATE_TEST_SUITE_P(
    Frames, CommandFrameTest,
    testing::Values(FrameCase{{}, {1, 2, 0}, frame(6, {})},
                    FrameCase{{0, 0x30}, {}, frame(8, {0x10, 0x0A, 0x15, 0x30})},
                    FrameCase{
                        {}, {0, 0, 3}, frame(10, {0x1C, 0x30, 0x1D, 0x31, 0x1E, 0x37, 0x1F, 0x36})},
                    FrameCase{{0x20, 0x30, 0x20}, {3, 3, 3}, frame(24, kEverything)},
                    FrameCase{{0xFF}, {}, frame(8, {0x02, 0x02, 0x07, 0xFF})}));

// Up by 20 to the target; down by 20 to 0 rather than to the target, and back up from there.
TEST(RampTest, StepsTwentyUpToTheTargetAndDownToZero)
{
    Module1 m = running();
    const std::pair<int, int> ticks[] = {{48, 20}, {48, 40}, {48, 48}, {30, 28},
                                         {30, 30}, {0, 10},  {0, 0}};
    for (const auto &[target, speed] : ticks) {
        m.TargetSpeed[1] = static_cast<std::int16_t>(target);
        EXPECT_EQ(commandTick(m, false).bytes[9], speed) << "target " << target; // Y's speed
    }
}

// The first tick after a download only initialises; Exit pressed before it goes out next.
TEST(InitTickTest, InitialisesThenSendsTheWaitingStop)
{
    Module1 m;
    m.PosCode0 = m.PosCode1 = m.PosCode2 = m.PosCode3 = {128, 128, 128, 128};
    m.TrainCmd[0] = kCmdStop;
    m.TargetSpeed[1] = 100;
    const TickResult init = commandTick(m, true);
    EXPECT_EQ(init.bytes, (Bytes{0xFF, 0x0C, 0x00, 0x80, 0x01, 0x80, 0x02, 0x80, 0x03,
                                 0x80, 0x0E, 0x80, 0x0F, 0x80, 0x10, 0x80, 0x11, 0x80,
                                 0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80}));
    EXPECT_FALSE(init.intervalMs.has_value());
    EXPECT_TRUE(init.timerEnabled);
    EXPECT_FALSE(init.endProgram);
    EXPECT_EQ(m.PointTable[0][3].AfterCode, 0x2F); // every initialisation fills the point table
    const TickResult stop = commandTick(m, true);
    EXPECT_EQ(Bytes(stop.bytes.end() - 2, stop.bytes.end()), (Bytes{0x07, 0xFF}));
    EXPECT_EQ(stop.bytes[9], 20); // the ramp starts with the first command frame
    EXPECT_FALSE(stop.timerEnabled);
    EXPECT_TRUE(stop.endProgram);
}

} // namespace
} // namespace relm
