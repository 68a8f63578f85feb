#include "link/command_tick.h"
#include "link/status_event.h"

#include "link_test_support.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using test::Bytes;
using test::Record;

constexpr BarFrame kFrame{1575, 1920};

// All absent, point table filled, the cycle running, X asking for slider speed 100.
Module1 initialised()
{
    Module1 m;
    for (int t = 0; t < kTrainCount; ++t)
        test::place(m, t, {128, 128, 128, 128});
    fillPointTable(m);
    m.InitSent = kTrue;
    m.SliderSpeed[0] = 100;
    return m;
}

// Train X on route 1 before, on and after the point from route 1 into route 0 (sections 0x08,
// 0x00, 0x01); Y far away, or with its section after the next on 0x00.
constexpr Record kApproach{0x0F, 0x0E, 0x08};
constexpr Record kAtFrom{0x08, 0x0F, 0x09};
constexpr Record kOnNext{0x00, 0x08, 0x01};
constexpr Record kAtAfter{0x01, 0x00, 0x02};
constexpr Record kAway{0x14, 0x13, 0x15};
constexpr Record kBlocking{0x06, 0x05, 0x07};

// One status frame, the operator's PointReq before it (-1: untouched), and X's state after it.
struct PointStep
{
    int request;
    Record x;
    Record y;
    int armed;
    int blocked;
    int req;
    int cmd;
    int pos2;
    int pos3;
    std::uint32_t colour;
    int target;
    bool passed;
};

struct PointScenario
{
    const char *name;
    std::vector<PointStep> steps;
};

using PointScenarioTest = testing::TestWithParam<PointScenario>;

TEST_P(PointScenarioTest, FollowsTheRequestAcrossFrames)
{
    Module1 m = initialised();
    const auto &steps = GetParam().steps;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const PointStep &s = steps[i];
        if (s.request >= 0)
            m.PointReq[0] = static_cast<std::int16_t>(s.request);
        const StatusView v = statusEvent(m, test::statusFrame(s.x, s.y), kFrame);
        EXPECT_EQ(m.PointArmed[0], s.armed) << "step " << i;
        EXPECT_EQ(m.PointBlocked[0], s.blocked) << "step " << i;
        EXPECT_EQ(m.PointReq[0], s.req) << "step " << i;
        EXPECT_EQ(m.TrainCmd[0], s.cmd) << "step " << i;
        EXPECT_EQ(m.PosCode2[0], s.pos2) << "step " << i;
        EXPECT_EQ(m.PosCode3[0], s.pos3) << "step " << i;
        EXPECT_EQ(v.trains[0].colour, s.colour) << "step " << i;
        EXPECT_EQ(m.TargetSpeed[0], s.target) << "step " << i;
        EXPECT_EQ(v.trains[0].resetPointButton, s.passed) << "step " << i;
    }
}

constexpr std::uint32_t kCyan = kStatusLightCyan;
constexpr std::uint32_t kYellow = kStatusLightYellow;
constexpr std::uint32_t kRed = kStatusLightRed;
const PointStep kWaiting{1, kApproach, kAway, 0, 0, 1, 0, 0x08, 0x09, kCyan, 100, false};
const PointStep kArmed{-1, kAtFrom, kAway, -1, 0, 1, 0x30, 0x00, 0x01, kYellow, 48, false};
const PointStep kRefused{1, kAtFrom, kBlocking, 0, -1, 1, 0, 0x09, 0x0A, kRed, 0, false};

INSTANTIATE_TEST_SUITE_P(
    Points, PointScenarioTest,
    testing::Values(
        PointScenario{"ArmedThenPassed",
                      {kWaiting,
                       kArmed,
                       {-1, kOnNext, kAway, -1, 0, 1, 0x30, 0x01, 0x02, kYellow, 48, false},
                       {-1, kAtAfter, kAway, 0, 0, 0, 0x20, 0x02, 0x03, kCyan, 100, true}}},
        PointScenario{
            "RefusedThenArmedWhenTheRouteFreesWithoutMoving",
            {kRefused, {-1, kAtFrom, kAway, -1, 0, 1, 0x30, 0x00, 0x01, kYellow, 48, false}}},
        PointScenario{"WithdrawnAfterRefusalStaysStoppedUntilArmed",
                      {kRefused,
                       {0, kAtFrom, kAway, 0, -1, 0, 0, 0x09, 0x0A, kRed, 0, false},
                       {1, kAtFrom, kAway, -1, 0, 1, 0x30, 0x00, 0x01, kYellow, 48, false}}},
        PointScenario{"WithdrawnAfterArmingStillCompletes",
                      {kWaiting,
                       kArmed,
                       {0, kOnNext, kAway, -1, 0, 0, 0x30, 0x01, 0x02, kYellow, 48, false},
                       {-1, kAtAfter, kAway, 0, 0, 0, 0x20, 0x02, 0x03, kCyan, 100, true}}},
        // Standing in a FromCode section already: taken up only from a move into one.
        PointScenario{"RequestedWhileStandingInFromCode",
                      {{-1, kAtFrom, kAway, 0, 0, 0, 0, 0x09, 0x0A, kCyan, 100, false},
                       {1, kAtFrom, kAway, 0, 0, 1, 0, 0x09, 0x0A, kCyan, 100, false}}}),
    [](const testing::TestParamInfo<PointScenario> &p) { return std::string(p.param.name); });

Bytes commandPairs(const Bytes &frame)
{
    return Bytes(frame.begin() + 14, frame.end());
}

TEST(PointCommandTest, AFrameBeforeTheTickKeepsTheArmedRoute)
{
    Module1 m = initialised();
    m.PointReq[0] = 1;
    statusEvent(m, test::statusFrame(kApproach, kAway), kFrame);
    statusEvent(m, test::statusFrame(kAtFrom, kAway), kFrame);
    statusEvent(m, test::statusFrame(kAtFrom, kAway), kFrame); // the controller has not heard yet
    const Bytes bytes = commandTick(m, false).bytes;
    EXPECT_EQ(bytes[3], 0x01); // register 3 = AfterCode
    EXPECT_EQ(commandPairs(bytes), (Bytes{0x02, 0x00, 0x07, 0x30})); // register 2 = NextCode
    // Once sent, the controller's report is taken again.
    statusEvent(m, test::statusFrame(kAtFrom, kAway), kFrame);
    EXPECT_EQ(m.PosCode2[0], 0x09);
}

TEST(PointCommandTest, APendingStopIsNotReplacedByAPointCommand)
{
    Module1 m = initialised();
    m.PointReq[0] = 1;
    statusEvent(m, test::statusFrame(kApproach, kAway), kFrame);
    m.TrainCmd[0] = kCmdStop; // Reset just pressed
    statusEvent(m, test::statusFrame(kAtFrom, kAway), kFrame);
    EXPECT_EQ(m.PointArmed[0], kTrue);
    const TickResult r = commandTick(m, false);
    EXPECT_FALSE(r.timerEnabled);
    EXPECT_EQ(commandPairs(r.bytes), (Bytes{0x02, 0x00, 0x07, 0xFF}));
}

struct StandCase
{
    int outSpeed;
    int reported;
    bool ready;
};

using ReversalStandTest = testing::TestWithParam<StandCase>;

TEST_P(ReversalStandTest, ReversesOnlyAStandingTrain)
{
    const StandCase &c = GetParam();
    Module1 m = initialised();
    m.RevState[0] = kRevStopping;
    m.OutSpeed[0] = static_cast<std::int16_t>(c.outSpeed);
    const StatusView v = statusEvent(m, test::statusFrame({0x0A, 0x09, 0x0B, c.reported}), kFrame);
    EXPECT_EQ(m.TargetSpeed[0], 0);
    EXPECT_EQ(m.RevState[0], c.ready ? kRevReady : kRevStopping);
    EXPECT_EQ(v.trains[0].resetReverseButton, c.ready);
    EXPECT_EQ(v.trains[0].colour, kStatusLightCyan); // the check's colour; only the target is 0
}

INSTANTIATE_TEST_SUITE_P(Stands, ReversalStandTest,
                         testing::Values(StandCase{0, 0, true}, StandCase{0, 1, true},
                                         StandCase{0, 2, false}, StandCase{1, 0, false},
                                         StandCase{0, 255, false}));

TEST(ReversalTest, StopsWaitsSendsTheReversedRegistersAndRunsOn)
{
    Module1 m = initialised();
    m.OutSpeed[0] = m.TargetSpeed[0] = 40;
    const Bytes running = test::statusFrame({0x0A, 0x09, 0x0B, 40});
    statusEvent(m, running, kFrame);
    m.RevState[0] = kRevRequested; // Reverse pressed
    statusEvent(m, Bytes(running.begin(), running.begin() + 22), kFrame);
    EXPECT_EQ(m.RevState[0], kRevRequested); // a partial frame moves nothing
    statusEvent(m, running, kFrame);
    EXPECT_EQ(m.RevState[0], kRevStopping);
    EXPECT_EQ(m.TargetSpeed[0], 0);
    commandTick(m, false);
    commandTick(m, false);
    EXPECT_EQ(m.OutSpeed[0], 0);
    statusEvent(m, test::statusFrame({0x0A, 0x09, 0x0B, 2}), kFrame);
    EXPECT_EQ(m.RevState[0], kRevStopping);
    statusEvent(m, test::statusFrame({0x0A, 0x09, 0x0B, 1}), kFrame);
    EXPECT_EQ(m.RevState[0], kRevReady);
    // A frame before the tick must not let the train start with its reversal.
    statusEvent(m, test::statusFrame({0x0A, 0x09, 0x0B, 0}), kFrame);
    EXPECT_EQ(m.TargetSpeed[0], 0);
    const Bytes reversal = commandTick(m, false).bytes;
    EXPECT_EQ(reversal[5], 0); // register 4 of train X
    EXPECT_EQ(commandPairs(reversal), (Bytes{0x00, 0x29, 0x01, 0x2A, 0x02, 0x28, 0x03, 0x2F}));
    EXPECT_EQ(m.RevState[0], kRevIdle);
    statusEvent(m, test::statusFrame({0x29, 0x2A, 0x28, 0}), kFrame);
    EXPECT_EQ(m.TargetSpeed[0], 100);
}

} // namespace
} // namespace relm
