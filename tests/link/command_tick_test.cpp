#include "link/command_tick.h"

#include "link_test_support.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using test::Bytes;

// A running cycle: init sent, trains on routes 0, 1, 2 at steady speeds 40, 0, 128.
Module1 running()
{
    Module1 m;
    m.InitSent = kTrue;
    test::place(m, 0, {0x01, 0x00, 0x02, 0x03});
    test::place(m, 1, {0x09, 0x08, 0x0A, 0x0B});
    test::place(m, 2, {0x11, 0x10, 0x12, 0x80});
    m.OutSpeed = m.TargetSpeed = {40, 0, 128, 0};
    m.RevCode0 = {0x20, 0x28, 0x30, 0};
    m.RevCode1 = {0x21, 0x29, 0x31, 0};
    m.RevCode2 = {0x27, 0x2F, 0x37, 0};
    m.RevCode3 = {0x26, 0x2E, 0x36, 0};
    return m;
}

const Bytes kBase{0x03, 0x03, 0x04, 0x28, 0x11, 0x0B, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x80};

Bytes frame(int pairs, const Bytes &extra)
{
    Bytes b{0xFF, static_cast<std::uint8_t>(pairs)};
    b.insert(b.end(), kBase.begin(), kBase.end());
    b.insert(b.end(), extra.begin(), extra.end());
    return b;
}

struct FrameCase
{
    const char *name;
    void (*pending)(Module1 &);
    Bytes expected;
    bool timerEnabled;
};

using CommandFrameTest = testing::TestWithParam<FrameCase>;

TEST_P(CommandFrameTest, SendsBasePairsThenCommandsThenReversalsAndConsumesThem)
{
    const FrameCase &c = GetParam();
    Module1 m = running();
    c.pending(m);
    const TickResult r = commandTick(m, false);
    EXPECT_EQ(r.bytes, c.expected);
    EXPECT_EQ(r.intervalMs, kCommandIntervalMs);
    EXPECT_EQ(r.timerEnabled, c.timerEnabled);
    EXPECT_FALSE(r.endProgram);
    for (int t = 0; t < kTrainCount; ++t) {
        EXPECT_EQ(m.TrainCmd[t], kCmdNone) << t;
        EXPECT_NE(m.RevState[t], kRevReady) << t;
    }
    // Nothing is left to send: the next frame is the common one.
    EXPECT_EQ(commandTick(m, false).bytes, frame(6, {}));
}

INSTANTIATE_TEST_SUITE_P(
    Frames, CommandFrameTest,
    testing::Values(FrameCase{"Common", [](Module1 &) {}, frame(6, {}), true},
                    FrameCase{"RevStateOneAndTwoAddNothing",
                              [](Module1 &m) {
                                  m.RevState = {1, 2, 0};
                              },
                              frame(6, {}), true},
                    FrameCase{"CommandOnTrain1", [](Module1 &m) { m.TrainCmd[1] = kCmdSetPoint; },
                              frame(8, {0x10, 0x0A, 0x15, 0x30}), true},
                    FrameCase{"ReversalOnTrain2", [](Module1 &m) { m.RevState[2] = kRevReady; },
                              frame(10, {0x1C, 0x30, 0x1D, 0x31, 0x1E, 0x37, 0x1F, 0x36}), true},
                    FrameCase{"Everything",
                              [](Module1 &m) {
                                  m.TrainCmd = {kCmdPointPassed, kCmdSetPoint, kCmdPointPassed, 0};
                                  m.RevState = {kRevReady, kRevReady, kRevReady};
                              },
                              frame(24, {0x02, 0x02, 0x07, 0x20, 0x10, 0x0A, 0x15, 0x30, 0x1E,
                                         0x12, 0x23, 0x20, 0x00, 0x20, 0x01, 0x21, 0x02, 0x27,
                                         0x03, 0x26, 0x0E, 0x28, 0x0F, 0x29, 0x10, 0x2F, 0x11,
                                         0x2E, 0x1C, 0x30, 0x1D, 0x31, 0x1E, 0x37, 0x1F, 0x36}),
                              true},
                    // Only the later of two values written between ticks goes out.
                    FrameCase{"WrittenTwice",
                              [](Module1 &m) {
                                  m.TrainCmd[1] = kCmdSetPoint;
                                  m.TrainCmd[1] = kCmdPointPassed;
                              },
                              frame(8, {0x10, 0x0A, 0x15, 0x20}), true},
                    // Reset: the stop goes out in this frame and the timer stops with it.
                    FrameCase{"ResetStop", [](Module1 &m) { m.TrainCmd[0] = kCmdStop; },
                              frame(8, {0x02, 0x02, 0x07, 0xFF}), false}),
    [](const testing::TestParamInfo<FrameCase> &p) { return std::string(p.param.name); });

// Each tick's target (set before the tick) and the output speed it must leave.
struct RampCase
{
    const char *name;
    int from;
    std::vector<std::pair<int, int>> ticks;
};

using RampTest = testing::TestWithParam<RampCase>;

TEST_P(RampTest, StepsTwentyUpToTheTargetAndDownToZero)
{
    const RampCase &c = GetParam();
    Module1 m = running();
    m.OutSpeed[1] = static_cast<std::int16_t>(c.from);
    for (const auto &[target, speed] : c.ticks) {
        m.TargetSpeed[1] = static_cast<std::int16_t>(target);
        const Bytes bytes = commandTick(m, false).bytes;
        EXPECT_EQ(m.OutSpeed[1], speed);
        EXPECT_EQ(bytes[9], speed); // train 1's speed register value
    }
    EXPECT_EQ(m.OutSpeed[0], 40);
    EXPECT_EQ(m.OutSpeed[2], 128);
}

INSTANTIATE_TEST_SUITE_P(
    Ramps, RampTest,
    testing::Values(
        RampCase{"UpTo48", 0, {{48, 20}, {48, 40}, {48, 48}, {48, 48}}},
        RampCase{"UpTo128",
                 0,
                 {{128, 20}, {128, 40}, {128, 60}, {128, 80}, {128, 100}, {128, 120}, {128, 128}}},
        RampCase{
            "DownPastTheTargetAndBack", 100, {{30, 80}, {30, 60}, {30, 40}, {30, 20}, {30, 30}}},
        RampCase{"DownToZeroNotBelow", 10, {{0, 0}, {0, 0}}},
        RampCase{"TargetChangedMidRamp", 0, {{128, 20}, {128, 40}, {30, 20}, {30, 30}}}),
    [](const testing::TestParamInfo<RampCase> &p) { return std::string(p.param.name); });

// What one tick of a stop handshake must do.
struct Tick
{
    bool init;
    std::optional<int> interval;
    bool enabled;
    bool end;
};

struct HandshakeCase
{
    const char *name;
    bool initSent;
    bool exitPending;
    std::vector<Tick> ticks;
};

using StopHandshakeTest = testing::TestWithParam<HandshakeCase>;

TEST_P(StopHandshakeTest, EndsWithOneFrameCarryingTheStop)
{
    const HandshakeCase &c = GetParam();
    Module1 m = running();
    m.InitSent = c.initSent ? kTrue : kFalse;
    m.TrainCmd[0] = kCmdStop; // Reset or Exit pressed
    m.TargetSpeed[1] = 100;
    for (std::size_t i = 0; i < c.ticks.size(); ++i) {
        const Tick &want = c.ticks[i];
        const TickResult r = commandTick(m, c.exitPending);
        EXPECT_EQ(r.bytes.size(), want.init ? 26u : 18u) << i;
        EXPECT_EQ(r.bytes.back(), want.init ? 0x80 : 0xFF) << i;
        EXPECT_EQ(r.intervalMs, want.interval) << i;
        EXPECT_EQ(r.timerEnabled, want.enabled) << i;
        EXPECT_EQ(r.endProgram, want.end) << i;
    }
    EXPECT_EQ(m.InitSent, kTrue);
    EXPECT_EQ(m.TrainCmd[0], kCmdNone);
    EXPECT_EQ(m.OutSpeed[1], 20); // only the command tick ramps
}

INSTANTIATE_TEST_SUITE_P(
    Stops, StopHandshakeTest,
    testing::Values(HandshakeCase{"Reset", true, false, {{false, 200, false, false}}},
                    HandshakeCase{"Exit", true, true, {{false, 200, false, true}}},
                    HandshakeCase{"ResetBeforeInit",
                                  false,
                                  false,
                                  {{true, std::nullopt, true, false}, {false, 200, false, false}}},
                    HandshakeCase{"ExitBeforeInit",
                                  false,
                                  true,
                                  {{true, std::nullopt, true, false}, {false, 200, false, true}}}),
    [](const testing::TestParamInfo<HandshakeCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
