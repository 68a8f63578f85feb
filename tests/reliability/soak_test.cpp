#include "soak_checks.h"
#include "soak_report.h"
#include "soak_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace relm {
namespace {

using namespace std::chrono_literals;

// Five simulated minutes of random operation: the console's rules must keep every train apart,
// and the run must have exercised them (trains moving, points set, reversals made).
using ShortSoakTest = testing::TestWithParam<std::uint64_t>;

TEST_P(ShortSoakTest, NoViolationInFiveMinutes)
{
    SoakConfig config;
    config.seed = GetParam();
    config.length = 5min;
    config.iniPath = testing::TempDir() + "relm-soak-" + std::to_string(GetParam()) + ".ini";
    SoakRun run(config);
    run.run();
    const SoakStats &s = run.stats();
    EXPECT_EQ(s.violations, 0u) << soakReport(run);
    EXPECT_EQ(s.positionsReplaced, 0u) << soakReport(run);
    EXPECT_GT(s.decoded, 2000u) << "status frames must reach the console whole";
    EXPECT_GT(s.sectionsEntered, 50u) << soakReport(run);
    EXPECT_GT(s.pointsArmed + s.reversalsCompleted, 0u) << soakReport(run);
    // On a perfect line the report watch never doubts, holds or reports anything.
    const WatchCounts &w = run.watch().counts();
    EXPECT_EQ(w.implausibleFrames + w.holds + w.silences + w.noProgress, 0u) << soakReport(run);
    EXPECT_EQ(w.implausible[static_cast<std::size_t>(Implausible::CutBlock)], 0u);
}

// Seed 100 drives a train with a set point route towards a section another train holds.
INSTANTIATE_TEST_SUITE_P(Seeds, ShortSoakTest, testing::Values(1u, 7u, 100u));

// Status frames damaged at 1e-3 per byte: the watch turns every damaged frame away and doubts
// none that arrived as the controller sent it.
TEST(FaultySoakTest, TheWatchDoubtsDamagedReportsOnly)
{
    SoakConfig config;
    config.length = 5min;
    config.iniPath = testing::TempDir() + "relm-soak-faults.ini";
    config.faults = sim::parseFaultSettings("1e-3,dir=status").settings;
    SoakRun run(config);
    run.run();
    const WatchCounts &w = run.watch().counts();
    EXPECT_EQ(run.stats().violations, 0u) << soakReport(run);
    EXPECT_GT(w.implausibleFrames, 10u) << soakReport(run);
    EXPECT_GT(w.implausible[static_cast<std::size_t>(Implausible::CutBlock)], 10u);
    EXPECT_EQ(run.stats().doubtedUndamaged, 0u) << soakReport(run);
}

// A command frame from the console: speeds for the three trains, then the extra pairs.
std::vector<std::uint8_t> commandFrame(std::array<int, 3> speeds,
                                       std::vector<std::pair<int, int>> extra)
{
    std::vector<std::uint8_t> f{0xFF, static_cast<std::uint8_t>(6 + extra.size())};
    for (int t = 0; t < 3; ++t)
        extra.insert(extra.begin() + 2 * t,
                     {{14 * t + 3, 0x02}, {14 * t + 4, speeds[static_cast<std::size_t>(t)]}});
    for (const auto &[address, value] : extra)
        f.insert(f.end(), {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(value)});
    return f;
}

std::size_t count(ViolationKind kind, const std::vector<std::uint8_t> &frame,
                  const LayoutTruth &truth)
{
    const auto found = checkCommandFrame(frame, truth);
    return static_cast<std::size_t>(std::count_if(
        found.begin(), found.end(), [kind](const FrameFinding &f) { return f.kind == kind; }));
}

// Train t (at sections 10/9, the others absent) gets reversed registers in a frame that sets
// its speed to frameSpeed.
struct ReversalCase
{
    const char *name;
    int t;
    double speed;
    int speedRegister;
    int frameSpeed;
    bool moving;
};
using ReversalCheckTest = testing::TestWithParam<ReversalCase>;

TEST_P(ReversalCheckTest, FlagsAReversalOnlyWhenTheTrainRunsOrIsToldTo)
{
    const ReversalCase &c = GetParam();
    LayoutTruth truth{};
    truth[static_cast<std::size_t>(c.t)] = {true, 10, 9, c.speed, c.speedRegister};
    std::array<int, 3> speeds{};
    speeds[static_cast<std::size_t>(c.t)] = c.frameSpeed;
    const int r = 14 * c.t;
    const auto frame =
        commandFrame(speeds, {{r, 0x29}, {r + 1, 0x08}, {r + 2, 0x28}, {r + 3, 0x27}});
    EXPECT_EQ(count(ViolationKind::ReversalWhileMoving, frame, truth), c.moving ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReversalCheckTest,
    testing::Values(ReversalCase{"Standing", 0, 0.0, 0, 0, false},
                    ReversalCase{"StillRolling", 0, 0.6, 0, 0, true},
                    ReversalCase{"RegisterAsksToRun", 1, 0.0, 20, 20, true},
                    ReversalCase{"SpeedZeroEarlierInTheFrameCounts", 1, 0.0, 20, 0, false},
                    ReversalCase{"NewStartingSpeedInTheFrame", 2, 0.0, 0, 20, true}),
    [](const testing::TestParamInfo<ReversalCase> &p) { return std::string(p.param.name); });

// Train X at sections 8/15 is given a point route into `next`; train Y stands at head/tail.
struct PointCase
{
    const char *name;
    int head;
    int tail;
    int next;
    int command;
    bool occupied;
};
using PointCheckTest = testing::TestWithParam<PointCase>;

TEST_P(PointCheckTest, FlagsAPointCommandIntoAnotherTrainsSection)
{
    const PointCase &c = GetParam();
    const LayoutTruth truth{TrainTruth{true, 8, 15}, TrainTruth{true, c.head, c.tail}, {}};
    const auto frame = commandFrame({}, {{2, c.next}, {7, c.command}});
    EXPECT_EQ(count(ViolationKind::PointIntoOccupied, frame, truth), c.occupied ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Frames, PointCheckTest,
                         testing::Values(PointCase{"FreeSection", 3, 2, 0x00, 0x30, false},
                                         PointCase{"AnotherTrainsHead", 0, 7, 0x00, 0x30, true},
                                         PointCase{"ATailTheOtherWay", 1, 0, 0x20, 0x30, true},
                                         PointCase{"ItsOwnTail", 3, 2, 0x0F, 0x30, false},
                                         PointCase{"NotAPointCommand", 0, 7, 0x00, 0x20, false}),
                         [](const testing::TestParamInfo<PointCase> &p) {
                             return std::string(p.param.name);
                         });

} // namespace
} // namespace relm
