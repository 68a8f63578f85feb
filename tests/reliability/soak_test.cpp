#include "console_port.h"
#include "paced_line.h"
#include "soak_report.h"
#include "soak_run.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace relm {
namespace {

using namespace std::chrono_literals;

std::string scratchIni(const std::string &name)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / ("relm-soak-" + name);
    std::filesystem::create_directories(dir);
    return (dir / "atc.ini").string();
}

TEST(PacedLineTest, BytesArriveAtTheLineRateInOrder)
{
    PacedLine line;
    const std::vector<std::uint8_t> frame{1, 2, 3, 4, 5};
    line.write(sim::Time{0}, frame);
    EXPECT_EQ(line.waiting(), 5u);
    // A byte takes 10 bit times at 9600 baud: 1041.67 us, rounded up per byte count.
    EXPECT_EQ(line.nextArrival(), sim::Time{1042});
    EXPECT_TRUE(line.arrived(sim::Time{1041}).empty());
    EXPECT_EQ(line.arrived(sim::Time{2084}), (std::vector<std::uint8_t>{1, 2}));
    line.write(sim::Time{2100}, std::vector<std::uint8_t>{6});
    EXPECT_EQ(line.arrived(sim::Time{5209}), (std::vector<std::uint8_t>{3, 4, 5}));
    EXPECT_EQ(line.arrived(sim::Time{6250}), (std::vector<std::uint8_t>{6}));
    EXPECT_EQ(line.waiting(), 0u);
    EXPECT_FALSE(line.nextArrival());
}

struct Read
{
    sim::Time at;
    std::size_t bytes;
    bool operator==(const Read &) const = default;
};

// Sends `bytes` bytes at t = 0, paced or all at once, and records the console's reads.
std::vector<Read> readsOf(std::size_t bytes, bool paced, ReceiveTiming timing)
{
    PacedLine line;
    ConsolePort port(timing);
    const std::vector<std::uint8_t> data(bytes, 0x11);
    if (paced)
        line.write(sim::Time{0}, data);
    else
        port.arrive(sim::Time{0}, data);
    std::vector<Read> reads;
    sim::Time now{0};
    for (;;) {
        if (port.readAt() && *port.readAt() <= now) {
            reads.push_back({now, port.readAll().size()});
            continue;
        }
        std::optional<sim::Time> next = line.nextArrival();
        if (port.readAt() && (!next || *port.readAt() < *next))
            next = port.readAt();
        if (!next)
            return reads;
        now = *next;
        port.arrive(now, line.arrived(now));
    }
}

struct PortCase
{
    const char *name;
    std::size_t bytes;
    bool paced;
    sim::Duration frameQuiet;
    std::vector<Read> reads;
};

class ConsolePortTest : public testing::TestWithParam<PortCase>
{};

TEST_P(ConsolePortTest, HandsOverBlocksWhereFramesEnd)
{
    const PortCase &c = GetParam();
    ReceiveTiming timing;
    timing.frameQuiet = c.frameQuiet;
    EXPECT_EQ(readsOf(c.bytes, c.paced, timing), c.reads);
}

// The 24th byte of a paced frame leaves the line at 25,000 us.
INSTANTIATE_TEST_SUITE_P(
    Timing, ConsolePortTest,
    testing::Values(
        PortCase{"WholeFrameOnceTheLineIsQuiet", 24, true, sim::Duration{5000},
                 {{sim::Time{30000}, 24}}},
        // Without a quiet time the 23rd byte triggers the read and the 24th starts the next
        // block, as a read at the bare threshold would do.
        PortCase{"BareThresholdSplitsTheFrame", 24, true, sim::Duration{0},
                 {{sim::Time{23959}, 23}, {sim::Time{75000}, 1}}},
        PortCase{"FragmentWaitsHalfAStatusPeriod", 10, true, sim::Duration{5000},
                 {{sim::Time{60417}, 10}}},
        PortCase{"TwoFramesWaitingAreReadAtOnce", 60, false, sim::Duration{5000},
                 {{sim::Time{0}, 60}}},
        PortCase{"BackToBackFramesAreReadEveryTwo", 72, true, sim::Duration{5000},
                 {{sim::Time{50000}, 48}, {sim::Time{80000}, 24}}}),
    [](const testing::TestParamInfo<PortCase> &p) { return std::string(p.param.name); });

// Five simulated minutes of random operation: the console's rules must keep every train apart,
// and the run must have exercised them (trains moving, points set, reversals made).
class ShortSoakTest : public testing::TestWithParam<std::uint64_t>
{};

TEST_P(ShortSoakTest, NoViolationInFiveMinutes)
{
    SoakConfig config;
    config.seed = GetParam();
    config.length = 5min;
    config.iniPath = scratchIni("short-" + std::to_string(GetParam()));
    SoakRun run(config);
    run.run();
    const SoakStats &s = run.stats();
    EXPECT_EQ(s.violations, 0u) << soakReport(run);
    EXPECT_EQ(s.simulated, sim::Time{5min});
    EXPECT_GE(s.downloads, 1u);
    EXPECT_GE(s.initFrames, 1u);
    EXPECT_GT(s.commandFrames, 1000u);
    EXPECT_GT(s.decoded, 2000u) << "status frames must reach the console whole";
    EXPECT_GT(s.sectionsEntered, 50u) << soakReport(run);
    EXPECT_GT(s.pointsArmed + s.reversalsCompleted, 0u) << soakReport(run);
    EXPECT_GT(s.operatorActions(), 100u);
}

// Seed 100 drives a train with a set point route towards a section another train holds.
INSTANTIATE_TEST_SUITE_P(Seeds, ShortSoakTest, testing::Values(1u, 100u));

TEST(SoakRunTest, SameSeedReplaysTheSameRun)
{
    SoakConfig config;
    config.seed = 99;
    config.length = 40s;
    config.iniPath = scratchIni("replay");
    SoakRun first(config);
    first.run();
    SoakRun second(config);
    second.run();
    EXPECT_EQ(soakReport(first), soakReport(second));
    EXPECT_EQ(first.stats().commandFrames, second.stats().commandFrames);
    for (int t = 0; t < kTrainCount; ++t) {
        EXPECT_EQ(first.module().PosCode0[t], second.module().PosCode0[t]);
        EXPECT_EQ(first.controller().train(t).positionMm, second.controller().train(t).positionMm);
    }
}

TEST(SoakRunTest, RunsInSlicesAsInOne)
{
    SoakConfig config;
    config.seed = 7;
    config.length = 30s;
    config.iniPath = scratchIni("slices");
    SoakRun whole(config);
    whole.run();
    SoakRun sliced(config);
    for (sim::Time t{1234567}; t < sim::Time{30s}; t += sim::Duration{2345678})
        sliced.runUntil(t);
    sliced.run();
    EXPECT_EQ(soakReport(whole), soakReport(sliced));
}

} // namespace
} // namespace relm
