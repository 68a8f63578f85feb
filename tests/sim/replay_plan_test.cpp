// Reading a traffic log into what a replay plays and expects, the replay's report, and the
// --replay option.

#include "sim/options.h"
#include "sim/replay_plan.h"

#include "support.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace relm::sim {
namespace {

using test::Bytes;

const Bytes kStatus(24, 0x80);
const Bytes kDownload = test::downloadFrame({0x01, 0x02});
const Bytes kInit = test::initFrame({test::kOff, test::kOff, test::kOff});

std::string line(std::int64_t ms, Direction d, const Bytes &b)
{
    return formatLogLine(ms, d, b) + "\n";
}
std::string tx(std::int64_t ms, const Bytes &b)
{
    return line(ms, Direction::ToController, b);
}
std::string rx(std::int64_t ms, const Bytes &b)
{
    return line(ms, Direction::FromController, b);
}

struct LoadCase
{
    const char *name;
    std::string log;
    std::vector<std::string> errors; // each must appear in its error, in order
    std::int64_t startMs = 0;
    std::vector<std::int64_t> blockAtMs = {}; // when each played block is due after time zero
    std::size_t expected = 0;                 // frames from the console
    std::int64_t lengthMs = 0;
    std::size_t beforeStart = 0;
    std::size_t empty = 0;
};

class ReplayLoadTest : public testing::TestWithParam<LoadCase>
{
};

TEST_P(ReplayLoadTest, ReadsTheLog)
{
    const LoadCase &c = GetParam();
    std::istringstream in(c.log);
    const ReplayLoad load = loadReplay(in);
    ASSERT_EQ(load.errors.size(), c.errors.size()) << testing::PrintToString(load.errors);
    for (std::size_t k = 0; k < c.errors.size(); ++k)
        EXPECT_NE(load.errors[k].find(c.errors[k]), std::string::npos) << load.errors[k];
    if (!c.errors.empty())
        return;
    const ReplayPlan &p = load.plan;
    EXPECT_EQ(p.startMs, c.startMs);
    std::vector<std::int64_t> at;
    for (const PlannedBlock &b : p.blocks) {
        at.push_back(b.at.count() / 1000);
        EXPECT_EQ(b.bytes, kStatus);
    }
    EXPECT_EQ(at, c.blockAtMs);
    EXPECT_EQ(p.expected.size(), c.expected);
    EXPECT_EQ(p.length.count(), c.lengthMs * 1000);
    EXPECT_EQ(p.blocksBeforeStart, c.beforeStart);
    EXPECT_EQ(p.emptyBlocks, c.empty);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, ReplayLoadTest,
    testing::Values(
        // Times count from the download; the recording runs one second past its last line.
        LoadCase{"DownloadInitAndStatus",
                 tx(500, kDownload) + tx(1520, kInit) + rx(1700, kStatus) + rx(1800, kStatus),
                 {},
                 500,
                 {1200, 1300},
                 2,
                 2300},
        // The console's last frame may be the last line as well.
        LoadCase{"EndsWithAFrameFromTheConsole",
                 tx(0, kDownload) + rx(900, kStatus) + tx(1000, kInit),
                 {},
                 0,
                 {900},
                 2,
                 2000},
        // What the controller said before the console's first frame cannot be placed.
        LoadCase{"BlocksBeforeTheFirstFrameAreNotPlayed",
                 rx(10, kStatus) + rx(110, kStatus) + tx(200, kDownload) + rx(200, kStatus),
                 {},
                 200,
                 {0},
                 1,
                 1000,
                 2},
        LoadCase{"EmptyReadsAreNotPlayed",
                 tx(0, kDownload) + rx(50, {}) + rx(60, kStatus),
                 {},
                 0,
                 {60},
                 1,
                 1060,
                 0,
                 1},
        LoadCase{"CommentsBlankLinesAndCarriageReturns",
                 "# recorded on the layout\n\r\n" +
                     formatLogLine(0, Direction::ToController, kDownload) + "\r\n" +
                     rx(40, kStatus),
                 {},
                 0,
                 {40},
                 1,
                 1040},
        LoadCase{"EqualTimesAreOneRun",
                 tx(7, kDownload) + rx(7, kStatus) + tx(7, kInit),
                 {},
                 7,
                 {0},
                 2,
                 1000},
        // Refused logs name every bad line.
        LoadCase{"UnreadableLinesByNumber",
                 tx(0, kDownload) + "# note\n" + "100 RX 80 8G | status\n" + rx(200, kStatus) +
                     "300 TX FF 06 03\n",
                 {"line 3: byte 2 '8G'", "line 5: no ' | '"}},
        LoadCase{"ADirectionThatIsNeither",
                 "0 XX FF | ?\n",
                 {"line 1: direction 'XX'", "no frame from the console"}},
        // relm --log appends: a second run starts again from 0.
        LoadCase{"TwoRunsInOneLog",
                 tx(0, kDownload) + rx(5000, kStatus) + tx(12, kDownload) + rx(20, kStatus),
                 {"line 3: 12 ms is earlier than line 2 (5000 ms)"}},
        LoadCase{"NoFrameFromTheConsole",
                 rx(0, kStatus) + rx(100, kStatus),
                 {"no frame from the console"}},
        LoadCase{"EmptyLog", "", {"no frame from the console"}}),
    [](const testing::TestParamInfo<LoadCase> &p) { return std::string(p.param.name); });

ReplayDifference difference(std::string text)
{
    return {DifferenceKind::Changed, 0, 0, std::move(text)};
}

struct ReportCase
{
    const char *name;
    ReplayReport report;
    std::vector<std::string> lines;
    int status;
};

class ReplayReportTest : public testing::TestWithParam<ReportCase>
{
};

TEST_P(ReplayReportTest, DifferencesThenSummary)
{
    EXPECT_EQ(reportLines(GetParam().report), GetParam().lines);
    EXPECT_EQ(replayExitStatus(GetParam().report), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReplayReportTest,
    testing::Values(
        ReportCase{"Identical", {{}, 57, 2, 3}, {"replay: 57 frames matched, 0 differences"}, 0},
        ReportCase{"One", {{}, 1, 0, 0}, {"replay: 1 frame matched, 0 differences"}, 0},
        ReportCase{"Differs",
                   {{difference("frame #3 at 2000 ms: a"), difference("extra frame at 9 ms: b")},
                    56,
                    0,
                    0},
                   {"frame #3 at 2000 ms: a", "extra frame at 9 ms: b",
                    "replay: 56 frames matched, 2 differences"},
                   1},
        ReportCase{"NothingSent",
                   {{difference("frame #1 at 0 ms: not sent")}, 0, 0, 0},
                   {"frame #1 at 0 ms: not sent", "replay: 0 frames matched, 1 difference"},
                   1}),
    [](const testing::TestParamInfo<ReportCase> &p) { return std::string(p.param.name); });

struct ReplayOptionCase
{
    const char *name;
    std::vector<std::string_view> args;
    std::string replay; // empty: refused
};

class ReplayOptionTest : public testing::TestWithParam<ReplayOptionCase>
{
};

TEST_P(ReplayOptionTest, Parses)
{
    const ParsedOptions r = parseOptions(GetParam().args);
    if (GetParam().replay.empty()) {
        EXPECT_FALSE(r.error.empty());
        return;
    }
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.options.replay, GetParam().replay);
}

INSTANTIATE_TEST_SUITE_P(
    Args, ReplayOptionTest,
    testing::Values(ReplayOptionCase{"Log", {"--replay", "run.log"}, "run.log"},
                    ReplayOptionCase{"WithLinkAndNoPacing",
                                     {"--link", "/tmp/atc", "--replay", "a.log", "--no-pacing"},
                                     "a.log"},
                    ReplayOptionCase{"Missing", {"--replay"}, ""},
                    ReplayOptionCase{"EmptyPath", {"--replay", ""}, ""},
                    // The recorded status frames keep their own times.
                    ReplayOptionCase{"WithStatusInterval",
                                     {"--replay", "a.log", "--status-interval", "100"},
                                     ""}),
    [](const testing::TestParamInfo<ReplayOptionCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
