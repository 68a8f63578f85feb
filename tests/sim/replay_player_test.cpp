// The recorded controller in virtual time: how the console's bytes become timed frames, when the
// logged blocks go out, and what a whole replay reports.

#include "sim/line_pacing.h"
#include "sim/replay_player.h"

#include "support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace relm::sim {
namespace {

using test::Bytes;

Time ms(std::int64_t v)
{
    return Time{v * 1000};
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes slice(const Bytes &b, std::size_t from, std::size_t to)
{
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(to));
}

const Bytes kDownload = test::downloadFrame({0x10, 0x00, 0xFF, 0x00});
const Bytes kInit = test::initFrame({test::placedAt(0x01), test::placedAt(0x0B), test::kOff});
const Bytes kRun = test::commandFrame({0x03, 0x0D, 0x80}, {20, 0, 0});
// Train X's stop command: 0xFF and 0x80 are values here, not frame starts.
const Bytes kStop = test::registerFrame(
    {{3, 0x80}, {4, 0}, {17, 0x80}, {18, 0}, {31, 0x80}, {32, 0}, {2, 0x80}, {7, 0xFF}});
const Bytes kStatus(24, 0x80);

// A plan that expects `frames` at their log times and plays `blocks` (ms after time zero).
ReplayPlan plan(std::vector<TimedFrame> frames, std::vector<std::int64_t> blocks = {},
                std::int64_t lengthMs = 5000)
{
    ReplayPlan p;
    p.startMs = frames.empty() ? 0 : frames.front().ms;
    p.expected = std::move(frames);
    for (const std::int64_t at : blocks)
        p.blocks.push_back({ms(at), kStatus});
    p.length = ms(lengthMs);
    return p;
}

struct Chunk
{
    std::int64_t atMs;
    Bytes bytes;
};

struct SegmentCase
{
    const char *name;
    std::vector<Chunk> chunks;
    std::vector<TimedFrame> frames; // in log time, with the log's first frame at 300 ms
    std::size_t malformed;
};

class ReplaySegmentTest : public testing::TestWithParam<SegmentCase>
{
};

TEST_P(ReplaySegmentTest, FramesAreStampedByTheirFirstByte)
{
    ReplayPlayer player(plan({{300, kDownload}}), true);
    for (const Chunk &c : GetParam().chunks)
        player.receive(c.bytes, ms(c.atMs));
    player.finish(ms(100'000));
    const std::vector<TimedFrame> &got = player.sent();
    ASSERT_EQ(got.size(), GetParam().frames.size());
    for (std::size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].ms, GetParam().frames[k].ms) << "frame " << k;
        EXPECT_EQ(got[k].bytes, GetParam().frames[k].bytes) << "frame " << k;
    }
    EXPECT_EQ(player.malformedBytes(), GetParam().malformed);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ReplaySegmentTest,
    testing::Values(
        // The first frame is time zero, whenever it arrives; later frames keep their distance.
        SegmentCase{"DownloadThenInitThenCommand",
                    {{7000, kDownload}, {8000, kInit}, {9000, kRun}},
                    {{300, kDownload}, {1300, kInit}, {2300, kRun}},
                    0},
        SegmentCase{"SplitFrameKeepsItsFirstByteTime",
                    {{1000, slice(kDownload, 0, 10)},
                     {1030, slice(kDownload, 10, kDownload.size())},
                     {2040, slice(kRun, 0, 5)},
                     {2060, slice(kRun, 5, kRun.size())}},
                    {{300, kDownload}, {1340, kRun}},
                    0},
        SegmentCase{"FramesBackToBackInOneRead",
                    {{0, join({kDownload, kInit, kStop})}},
                    {{300, kDownload}, {300, kInit}, {300, kStop}},
                    0},
        // Junk is neither a frame nor part of the next one, and does not start the clock.
        SegmentCase{"JunkBeforeFrames",
                    {{0, {0x05, 0x07}},
                     {500, join({Bytes{0x42}, kDownload})},
                     {1500, join({Bytes{0x13, 0x00, 0x00}, kInit})}},
                    {{300, kDownload}, {1300, kInit}},
                    6},
        // The zeros before the download are its own, however many, and nothing else.
        SegmentCase{"DownloadAfterJunkKeepsItsPreamble",
                    {{100, join({Bytes{0x33}, kDownload})}},
                    {{300, kDownload}},
                    1},
        // A frame the console never finished is no frame.
        SegmentCase{"FrameCutShortAtTheEnd",
                    {{0, kDownload}, {200, slice(kRun, 0, 6)}},
                    {{300, kDownload}},
                    6},
        SegmentCase{"NothingSent", {}, {}, 0}),
    [](const testing::TestParamInfo<SegmentCase> &p) { return std::string(p.param.name); });

struct DueCase
{
    const char *name;
    bool paced;
    std::vector<std::pair<std::int64_t, std::size_t>> blocks; // logged ms after time zero, size
    std::int64_t zeroMs;                                      // when the first frame arrives
    std::vector<std::pair<std::int64_t, std::size_t>> polls;  // time, bytes handed over
    std::vector<std::int64_t> nextDueUs;                      // after each poll
};

class ReplayDueTest : public testing::TestWithParam<DueCase>
{
};

TEST_P(ReplayDueTest, BlocksArriveToBeReadAtTheirLoggedTimes)
{
    const DueCase &c = GetParam();
    ReplayPlan p = plan({{0, kDownload}}, {}, 2000);
    for (const auto &[at, size] : c.blocks)
        p.blocks.push_back({ms(at), Bytes(size, 0x80)});
    ReplayPlayer player(std::move(p), c.paced);
    // Before the console's first frame nothing plays, however long that takes.
    EXPECT_TRUE(player.takeDue(ms(c.zeroMs + 10'000)).empty());
    EXPECT_FALSE(player.nextDue().has_value());
    EXPECT_FALSE(player.over(ms(c.zeroMs + 10'000)));
    player.receive(kDownload, ms(c.zeroMs));
    ASSERT_TRUE(player.started());
    for (std::size_t k = 0; k < c.polls.size(); ++k) {
        const auto [at, bytes] = c.polls[k];
        EXPECT_EQ(player.takeDue(ms(at)).size(), bytes) << "at " << at;
        const auto next = player.nextDue();
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->count(), c.nextDueUs[k]) << "after " << at;
    }
}

// A status frame is read 5 ms after it has arrived, and on a paced line it takes 25 ms to come.
constexpr std::int64_t kFrameLead = 5 + 25;

INSTANTIATE_TEST_SUITE_P(
    Plans, ReplayDueTest,
    testing::Values(
        DueCase{"Unpaced",
                false,
                {{100, 24}, {200, 24}, {200, 23}},
                500,
                {{594, 0}, {595, 24}, {695, 47}, {2499, 0}},
                {595'000, 695'000, 2'500'000, 2'500'000}},
        DueCase{"PacedFrames",
                true,
                {{100, 24}, {1000, 24}},
                0,
                {{69, 0}, {70, 24}, {969, 0}, {970, 24}},
                {(100 - kFrameLead) * 1000, (1000 - kFrameLead) * 1000, (1000 - kFrameLead) * 1000,
                 2'000'000}},
        // A fragment is read only after 50 ms of quiet: it must come that much earlier, or the
        // next frame runs into it. Here the 24th byte of a frame read at 23 bytes.
        DueCase{"FragmentComesEarly",
                true,
                {{100, 23}, {155, 1}, {210, 24}},
                0,
                {{72, 23}, {103, 0}, {104, 1}, {180, 24}},
                {103'958, 103'958, 180'000, 2'000'000}},
        // A block logged at once after the first frame cannot go before it.
        DueCase{"NeverBeforeTimeZero", true, {{0, 24}, {10, 24}}, 300, {{300, 48}}, {2'300'000}},
        // A late poll hands over everything that has come due, in order.
        DueCase{"LatePollCatchesUp",
                false,
                {{100, 24}, {200, 24}, {300, 2}, {1500, 24}},
                0,
                {{1000, 50}, {1600, 24}},
                {1'495'000, 2'000'000}}),
    [](const testing::TestParamInfo<DueCase> &p) { return std::string(p.param.name); });

TEST(ReplayPlayerTest, RecordingIsOverItsLengthAfterTheFirstFrame)
{
    ReplayPlayer player(plan({{0, kDownload}}, {}, 2000), true);
    player.receive(kDownload, ms(4000));
    EXPECT_FALSE(player.over(ms(5999)));
    EXPECT_TRUE(player.over(ms(6000)));
}

// The console's frames of a recording, 200 ms apart after the download and initialisation.
std::vector<TimedFrame> recording()
{
    std::vector<TimedFrame> f{{1000, kDownload}, {2010, kInit}};
    for (int k = 0; k < 10; ++k)
        f.push_back({3010 + 200 * k, kRun});
    f.push_back({5010, kStop});
    return f;
}

struct WholeCase
{
    const char *name;
    std::int64_t jitterMs; // added to every other frame's arrival
    std::size_t changed;   // index of a frame sent with other bytes; 0 for none
    std::size_t dropped;   // index of a frame not sent; 0 for none
    std::size_t matched;
    std::vector<std::string> report; // parts of the report lines, in order
};

class ReplayWholeTest : public testing::TestWithParam<WholeCase>
{
};

TEST_P(ReplayWholeTest, ComparesTheConsoleWithTheRecording)
{
    const WholeCase &c = GetParam();
    const std::vector<TimedFrame> logged = recording();
    ReplayPlayer player(plan(logged, {}, 5010 - 1000 + 1000), true);
    const std::int64_t shift = 60'000 - 1000; // the replay runs a minute into the server's life
    for (std::size_t k = 0; k < logged.size(); ++k) {
        if (c.dropped != 0 && k == c.dropped)
            continue;
        Bytes b = logged[k].bytes;
        if (c.changed != 0 && k == c.changed)
            b[5] = 40; // X's speed
        player.receive(b, ms(logged[k].ms + shift + (k % 2 == 1 ? c.jitterMs : 0)));
    }
    const ReplayReport r = player.finish(ms(logged.back().ms + shift + 1000));
    const std::vector<std::string> lines = reportLines(r);
    ASSERT_EQ(lines.size(), c.report.size()) << testing::PrintToString(lines);
    for (std::size_t k = 0; k < lines.size(); ++k)
        EXPECT_NE(lines[k].find(c.report[k]), std::string::npos) << lines[k];
    EXPECT_EQ(r.matched, c.matched);
    EXPECT_EQ(replayExitStatus(r), c.report.size() == 1 ? kReplayIdentical : kReplayDiffers);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ReplayWholeTest,
    testing::Values(
        WholeCase{"Same", 0, 0, 0, 13, {"replay: 13 frames matched, 0 differences"}},
        WholeCase{"SameWithinATick", 150, 0, 0, 13, {"replay: 13 frames matched, 0 differences"}},
        WholeCase{"ChangedSpeed",
                  0,
                  4,
                  0,
                  12,
                  {"frame #5 at 3410 ms: expected FF 06", "12 frames matched, 1 difference"}},
        // The stop frame carries a command: it must be sent, not absorbed as a repeat.
        WholeCase{"StopNotSent",
                  0,
                  0,
                  12,
                  12,
                  {"frame #13 at 5010 ms: not sent", "12 frames matched, 1 difference"}}),
    [](const testing::TestParamInfo<WholeCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
