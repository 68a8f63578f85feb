#include "traffic/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A common command frame with train X's speed byte (frame byte 5) set to v.
Bytes command(std::uint8_t v)
{
    return Bytes{0xFF, 0x06, 0x03, 0x0A, 0x04, v, 0x11, 0x80, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};
}

// A command frame carrying the point command for train Y.
const Bytes kPoint{0xFF, 0x08, 0x03, 0x0A, 0x04, 0x00, 0x11, 0x12, 0x12,
                   0x00, 0x1F, 0x80, 0x20, 0x00, 0x10, 0x09, 0x15, 0x30};
constexpr int P = 0x100; // stands for kPoint in a list of speeds

// Frames `step` ms apart from `start`, with X's speed from speeds.
std::vector<TimedFrame> ticks(const std::vector<int> &speeds, std::int64_t start = 0,
                              std::int64_t step = 200)
{
    std::vector<TimedFrame> frames;
    for (const int v : speeds) {
        frames.push_back({start, v == P ? kPoint : command(static_cast<std::uint8_t>(v))});
        start += step;
    }
    return frames;
}

std::vector<TimedFrame> timed(std::initializer_list<std::pair<std::int64_t, int>> frames)
{
    std::vector<TimedFrame> out;
    for (const auto &[ms, v] : frames)
        out.push_back({ms, v == P ? kPoint : command(static_cast<std::uint8_t>(v))});
    return out;
}

using K = DifferenceKind;

std::vector<K> kinds(const ReplayReport &r)
{
    std::vector<K> k;
    for (const ReplayDifference &d : r.differences)
        k.push_back(d.kind);
    return k;
}

std::string texts(const ReplayReport &r)
{
    std::string s;
    for (const ReplayDifference &d : r.differences)
        s += d.text + '\n';
    return s;
}

struct ReplayCase
{
    const char *name;
    std::vector<TimedFrame> recorded;
    std::vector<TimedFrame> sent;
    std::vector<K> expected;
};

void PrintTo(const ReplayCase &c, std::ostream *os)
{
    *os << c.name;
}

class CompareTrafficTest : public testing::TestWithParam<ReplayCase>
{
};

TEST_P(CompareTrafficTest, ReportsTheExpectedDifferences)
{
    const ReplayCase &c = GetParam();
    const ReplayReport r = compareTraffic(c.recorded, c.sent);
    EXPECT_EQ(kinds(r), c.expected) << texts(r);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CompareTrafficTest,
    testing::Values(
        ReplayCase{"Identical", ticks({0, 20, 40, 48, 48}), ticks({0, 20, 40, 48, 48}), {}},
        ReplayCase{"StartedOneTickLater", ticks({0, 20, 40, 48}), ticks({0, 20, 40, 48}, 200), {}},
        ReplayCase{
            "OneFrameATickLate", ticks({0, 20, 40}), timed({{0, 0}, {400, 20}, {400, 40}}), {}},
        ReplayCase{
            "ChangedSpeedByte", ticks({0, 20, 40, 48}), ticks({0, 20, 30, 48}), {K::Changed}},
        // one odd frame in a run of equal frames is a change, not a missing plus an extra frame
        ReplayCase{"ChangedInsideARun",
                   ticks({48, 48, 48, 48, 48}),
                   ticks({48, 48, 40, 48, 48}),
                   {K::Changed}},
        ReplayCase{
            "RampOneTickLate", ticks({0, 0, 20, 40, 48, 48}), ticks({0, 0, 0, 20, 40, 48, 48}), {}},
        ReplayCase{
            "RampOneTickEarly", ticks({0, 0, 20, 40, 48, 48}), ticks({0, 20, 40, 48, 48}), {}},
        ReplayCase{"OneTickLateThenOnTimeAgain",
                   ticks({0, 0, 20, 20, 40, 40}),
                   ticks({0, 0, 0, 20, 40, 40}),
                   {}},
        ReplayCase{"RampTwoTicksLate",
                   ticks({0, 0, 20, 40, 48, 48, 48}),
                   ticks({0, 0, 0, 0, 20, 40, 48}),
                   {K::Changed, K::Changed, K::Changed, K::Changed}},
        ReplayCase{"PointCommandReplacedByCommonFrame",
                   ticks({0, 0, P, 0, 0}),
                   ticks({0, 0, 0, 0, 0}),
                   {K::Changed}},
        ReplayCase{"PointFrameDropped", ticks({0, P, 0}), timed({{0, 0}, {400, 0}}), {K::Missing}},
        // a one-shot command goes out once; a second copy is never drift
        ReplayCase{"PointCommandTwice", ticks({0, P, 0, 0}), ticks({0, P, P, 0, 0}), {K::Changed}},
        ReplayCase{"PointCommandsRecordedTwiceSentOnce",
                   ticks({0, P, P, 0, 0}),
                   ticks({0, P, 0, 0, 0}),
                   {K::Changed}},
        ReplayCase{"FrameTwoTicksLate",
                   ticks({0, 20, 40, 48}),
                   timed({{0, 0}, {200, 20}, {800, 40}, {800, 48}}),
                   {K::Timing}},
        // a console that stalls once shifts every later frame: one difference, not many
        ReplayCase{"StalledDuringRamp",
                   ticks({0, 20, 40, 60, 80, 100}),
                   timed({{0, 0}, {200, 20}, {1000, 40}, {1200, 60}, {1400, 80}, {1600, 100}}),
                   {K::Timing}},
        ReplayCase{"RampStuck",
                   ticks({0, 20, 40, 48, 48, 48}),
                   ticks({0, 20, 20, 20, 20, 20}),
                   {K::Changed, K::Changed, K::Changed, K::Changed}},
        ReplayCase{"NothingSent", ticks({P, 0}), {}, {K::Missing, K::Missing}}),
    [](const auto &p) { return std::string(p.param.name); });

// A timer running at the wrong rate keeps equal frames but loses or gains a tick every two;
// only one of those may be taken for drift.
struct RateCase
{
    const char *name;
    std::int64_t step;
    int frames;
    K kind;
};

class TimerRateTest : public testing::TestWithParam<RateCase>
{
};

TEST_P(TimerRateTest, IsReportedAlongTheRun)
{
    const RateCase &c = GetParam();
    const ReplayReport r =
        compareTraffic(ticks(std::vector<int>(20, 48)),
                       ticks(std::vector<int>(std::size_t(c.frames), 48), 0, c.step));
    EXPECT_GE(r.differences.size(), 5u) << texts(r);
    EXPECT_LE(r.driftAbsorbed, 1u);
    for (const ReplayDifference &d : r.differences)
        EXPECT_EQ(d.kind, c.kind) << d.text;
}

INSTANTIATE_TEST_SUITE_P(Rates, TimerRateTest,
                         testing::Values(RateCase{"HalfRate", 400, 10, K::Missing},
                                         RateCase{"DoubleRate", 100, 40, K::Extra}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(CompareTrafficTest, NamesTheFrameAndTheFirstDifferingByte)
{
    const ReplayReport r = compareTraffic(ticks({0, 20, 40}), ticks({0, 20, 30}));
    ASSERT_EQ(r.differences.size(), 1u);
    EXPECT_EQ(r.differences[0].recordedIndex, 2u);
    EXPECT_EQ(r.differences[0].sentIndex, 2u);
    EXPECT_EQ(r.differences[0].text,
              "frame #3 at 400 ms: expected FF 06 03 0A 04 28 11 80 12 00 1F 80 20 00, got FF 06 "
              "03 0A 04 1E 11 80 12 00 1F 80 20 00 (first difference at byte 5)");
    EXPECT_EQ(r.matched, 2u);
}

TEST(CompareTrafficTest, DescribesMissingExtraAndLateFrames)
{
    EXPECT_EQ(texts(compareTraffic(ticks({0, P, 0}, 1000), timed({{5000, 0}, {5400, 0}}))),
              "frame #2 at 1200 ms: not sent, expected FF 08 03 0A 04 00 11 12 12 00 1F 80 20 00 "
              "10 09 15 30\n");
    EXPECT_EQ(texts(compareTraffic(ticks({0, 20}), timed({{0, 0}, {100, 99}, {200, 20}}))),
              "extra frame at 100 ms: FF 06 03 0A 04 63 11 80 12 00 1F 80 20 00\n");
    EXPECT_EQ(texts(compareTraffic(ticks({0, 20, 40}), timed({{0, 0}, {200, 20}, {1000, 40}}))),
              "frame #3 at 400 ms: sent at 1000 ms, 600 ms late\n");
    EXPECT_EQ(texts(compareTraffic(ticks({0, 20, 40}), timed({{0, 0}, {200, 20}, {100, 40}}),
                                   ReplayOptions{100, true})),
              "frame #3 at 400 ms: sent at 100 ms, 300 ms early\n");
}

TEST(CompareTrafficTest, CutsLongFramesInTheText)
{
    Bytes image(1031, 0x00);
    image[21] = 0xFF;
    Bytes other = image;
    other[500] = 0x01;
    const ReplayReport r =
        compareTraffic(std::vector<TimedFrame>{{0, image}}, std::vector<TimedFrame>{{0, other}});
    ASSERT_EQ(r.differences.size(), 1u);
    EXPECT_NE(r.differences[0].text.find("... (1031 bytes)"), std::string::npos);
    EXPECT_NE(r.differences[0].text.find("first difference at byte 500"), std::string::npos);
    EXPECT_LT(r.differences[0].text.size(), 300u);
}

TEST(CompareTrafficTest, DoesNotCompareWhatIsSentAfterTheRecordingEnds)
{
    const ReplayReport r = compareTraffic(ticks({0, 20, 20}), ticks({0, 20, 20, 20, 20, 20}));
    EXPECT_TRUE(r.identical()) << texts(r);
    EXPECT_EQ(r.notCompared, 2u);
    EXPECT_EQ(r.driftAbsorbed, 1u);
}

struct ShiftCase
{
    std::int64_t shift;
    bool alignFirstFrames;
    std::vector<K> expected;
};

class ShiftTest : public testing::TestWithParam<ShiftCase>
{
};

TEST_P(ShiftTest, WholeRunShifted)
{
    const ShiftCase &c = GetParam();
    const ReplayReport r = compareTraffic(ticks({0, 20, 40, 48}), ticks({0, 20, 40, 48}, c.shift),
                                          ReplayOptions{kReplayToleranceMs, c.alignFirstFrames});
    EXPECT_EQ(kinds(r), c.expected) << texts(r);
}

INSTANTIATE_TEST_SUITE_P(Shifts, ShiftTest,
                         testing::Values(ShiftCase{200, false, {}}, ShiftCase{-200, false, {}},
                                         ShiftCase{400, false, {K::Timing}},
                                         ShiftCase{400, true, {}}));

TEST(CompareTrafficTest, ReplaysTheTransmittedFramesOfALog)
{
    std::ostringstream out;
    TrafficLogWriter writer(out);
    const std::vector<TimedFrame> sent = ticks({0, P, 20, 40});
    for (const TimedFrame &f : sent) {
        ASSERT_TRUE(writer.append(f.ms, Direction::ToController, f.bytes));
        ASSERT_TRUE(writer.append(f.ms + 90, Direction::FromController, Bytes(24, 0x80)));
    }
    std::istringstream in(out.str());
    const TrafficLog log = readTrafficLog(in);
    ASSERT_TRUE(log.errors.empty());
    const std::vector<TimedFrame> recorded =
        framesInDirection(log.records, Direction::ToController);
    ASSERT_EQ(recorded.size(), sent.size());
    EXPECT_TRUE(compareTraffic(recorded, sent).identical());
    EXPECT_EQ(framesInDirection(log.records, Direction::FromController).size(), sent.size());
}

} // namespace
} // namespace relm
