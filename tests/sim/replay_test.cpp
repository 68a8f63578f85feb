// Playing a traffic log back: what the log asks for, when the logged blocks go out, and how the
// console's bytes become timed frames.

#include "sim/replay_player.h"

#include "support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace relm::sim {
namespace {

using test::Bytes;
using test::concat;

const Bytes kStatus(24, 0x80);
const Bytes kDownload = test::downloadFrame({0x10, 0x00, 0xFF, 0x00});
const Bytes kRun = test::commandFrame({0x03, 0x0D, 0x80}, {20, 0, 0});
// Train X's stop command: 0xFF and 0x80 are values here, not frame starts.
const Bytes kStop = test::registerFrame({{3, 0x80}, {4, 0}, {2, 0x80}, {7, 0xFF}});
constexpr Direction kTx = Direction::ToController;
constexpr Direction kRx = Direction::FromController;

using Ms = std::chrono::milliseconds;

ReplayLoad load(const std::vector<std::tuple<std::int64_t, Direction, Bytes>> &lines,
                const std::string &extra = "")
{
    std::string text = extra;
    for (const auto &[at, direction, bytes] : lines)
        text += formatLogLine(at, direction, bytes) + "\n";
    std::istringstream log(text);
    return loadReplay(log);
}

TEST(ReplayPlanTest, TimesCountFromTheConsolesFirstFrame)
{
    // Status before the download cannot be placed; an empty read has nothing to play.
    const ReplayLoad r = load({{10, kRx, kStatus},
                               {500, kTx, kDownload},
                               {550, kRx, Bytes{}},
                               {1700, kRx, kStatus},
                               {1800, kRx, kStatus},
                               {1820, kTx, kRun}},
                              "# recorded on the layout\n\r\n");
    ASSERT_TRUE(r.ok()) << testing::PrintToString(r.errors);
    EXPECT_EQ(r.plan.startMs, 500);
    ASSERT_EQ(r.plan.blocks.size(), 2u);
    EXPECT_EQ(r.plan.blocks[0].at, Ms(1200));
    EXPECT_EQ(r.plan.blocks[1].at, Ms(1300));
    EXPECT_EQ(r.plan.blocks[1].bytes, kStatus);
    EXPECT_EQ(r.plan.expected.size(), 2u);
    EXPECT_EQ(r.plan.length, Ms(1320 + 1000)); // the recording runs a second past its last line
    EXPECT_EQ(std::pair(r.plan.blocksBeforeStart, r.plan.emptyBlocks),
              std::pair(std::size_t{1}, std::size_t{1}));
}

TEST(ReplayPlanTest, UnplayableLogsNameEveryBadLine)
{
    const std::vector<std::pair<ReplayLoad, std::vector<std::string>>> cases{
        {load({{0, kTx, kDownload}}, "100 RX 80 8G | s\n# note\n300 TX FF\n"),
         {"line 1: byte 2 '8G'", "line 3: no ' | '"}},
        // relm --log appends: a second run starts again from 0.
        {load({{0, kTx, kDownload}, {5000, kRx, kStatus}, {12, kTx, kDownload}}),
         {"line 3: 12 ms is earlier than line 2 (5000 ms)"}},
        {load({{0, kRx, kStatus}}), {"no frame from the console"}}};
    for (const auto &[r, errors] : cases) {
        ASSERT_EQ(r.errors.size(), errors.size()) << testing::PrintToString(r.errors);
        for (std::size_t k = 0; k < errors.size(); ++k)
            EXPECT_NE(r.errors[k].find(errors[k]), std::string::npos) << r.errors[k];
    }
}

// A plan whose first logged frame is at 300 ms, with blocks (size, ms after time zero).
ReplayPlan plan(std::vector<std::pair<std::size_t, std::int64_t>> blocks = {})
{
    ReplayPlan p{.blocks = {}, .expected = {{300, kDownload}}, .startMs = 300, .length = Ms(2000)};
    for (const auto &[size, at] : blocks)
        p.blocks.push_back({Ms(at), Bytes(size, 0x80)});
    return p;
}

TEST(ReplayPlayerTest, FramesAreStampedByTheirFirstByteInLogTime)
{
    ReplayPlayer player(plan(), true);
    // Junk is no frame nor part of one, and does not start the clock; the zeros before a download
    // are its own. The first frame is time zero, whenever it arrives; later frames keep their
    // distance. A frame never finished is no frame.
    player.receive(Bytes{0x05, 0x07}, Ms(0));
    player.receive(concat({{0x42}, Bytes(kDownload.begin(), kDownload.begin() + 10)}), Ms(7000));
    player.receive(Bytes(kDownload.begin() + 10, kDownload.end()), Ms(7030));
    player.receive(concat({{0x13, 0x00, 0x00}, kRun, kStop}), Ms(8040));
    player.receive(Bytes(kRun.begin(), kRun.begin() + 6), Ms(8100));
    player.finish(Ms(100'000));
    std::vector<std::pair<std::int64_t, Bytes>> got;
    for (const TimedFrame &f : player.sent())
        got.emplace_back(f.ms, f.bytes);
    EXPECT_EQ(got, (decltype(got){{300, kDownload}, {1340, kRun}, {1340, kStop}}));
    EXPECT_EQ(player.malformedBytes(), 12u);
}

TEST(ReplayPlayerTest, BlocksArriveToBeReadAtTheirLoggedTimes)
{
    using Blocks = std::vector<std::pair<std::size_t, std::int64_t>>; // size, logged ms after zero
    using Polls =
        std::vector<std::tuple<std::int64_t, std::size_t, std::int64_t>>; // at, bytes
                                                                          // taken, next us
    struct Case
    {
        const char *name;
        bool paced;
        std::int64_t zeroMs; // when the console's first frame arrives
        Blocks blocks;
        Polls polls;
    };
    const std::vector<Case> cases{
        // A status frame is read 5 ms after it has arrived, and on a paced line takes 25 ms to
        // come. A fragment is read only after 50 ms of quiet: it must come that much earlier, or
        // the next frame runs into it. Here the 24th byte of a frame read at 23 bytes.
        {"PacedFragmentComesEarly", true, 0, Blocks{{23, 100}, {1, 155}, {24, 210}},
         Polls{{71, 0, 71'041},
               {72, 23, 103'958},
               {103, 0, 103'958},
               {104, 1, 180'000},
               {180, 24, 2'000'000}}},
        // A block logged at once after the first frame cannot go before it.
        {"NeverBeforeTimeZero", true, 300, Blocks{{24, 0}, {24, 10}}, Polls{{300, 48, 2'300'000}}},
        // A late poll hands over everything that has come due, in order.
        {"UnpacedLatePollCatchesUp", false, 0, Blocks{{24, 100}, {24, 200}, {2, 300}, {24, 1500}},
         Polls{{94, 0, 95'000}, {1000, 50, 1'495'000}, {1600, 24, 2'000'000}}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ReplayPlayer player(plan(c.blocks), c.paced);
        // Before the console's first frame nothing plays, however long that takes.
        EXPECT_TRUE(player.takeDue(Ms(c.zeroMs + 10'000)).empty());
        EXPECT_FALSE(player.nextDue().has_value() || player.over(Ms(c.zeroMs + 10'000)));
        player.receive(kDownload, Ms(c.zeroMs));
        for (const auto &[at, bytes, next] : c.polls) {
            EXPECT_EQ(player.takeDue(Ms(at)).size(), bytes) << "at " << at;
            EXPECT_EQ(player.nextDue().value_or(Time{}).count(), next) << "after " << at;
        }
        // The recording is over its length after the first frame.
        EXPECT_FALSE(player.over(Ms(c.zeroMs + 1999)));
        EXPECT_TRUE(player.over(Ms(c.zeroMs + 2000)));
    }
}

} // namespace
} // namespace relm::sim
