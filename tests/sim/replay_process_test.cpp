// relm-sim --replay as a program: refuses logs it cannot play, and on a pseudo-terminal plays
// the logged status back and reports the console's frames against the logged ones.

#include "sim/replay_plan.h"
#include "traffic/traffic_log.h"

#include "sim_child.h"
#include "support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::openLine;
using test::readFor;
using test::SimChild;

std::string writeLog(const std::string &name, const std::string &text)
{
    const std::string path = testing::TempDir() + name;
    std::ofstream(path) << text;
    return path;
}

struct RefusedCase
{
    const char *name;
    const char *log; // nullptr: no such file
    std::vector<std::string> reasons;
};

class ReplayRefusesTest : public testing::TestWithParam<RefusedCase>
{
};

TEST_P(ReplayRefusesTest, ExitsWithTwoAndNamesTheLines)
{
    const RefusedCase &c = GetParam();
    const std::string path = c.log != nullptr ? writeLog(std::string(c.name) + ".log", c.log)
                                              : testing::TempDir() + "no-such-traffic.log";
    SimChild sim({"--replay", path});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.waitForExit(10s), kReplayUnreadable);
    EXPECT_EQ(sim.out, "") << "no device is served for a log that cannot be played";
    for (const std::string &r : c.reasons)
        EXPECT_NE(sim.err.find(r), std::string::npos) << sim.err;
}

INSTANTIATE_TEST_SUITE_P(
    Logs, ReplayRefusesTest,
    testing::Values(RefusedCase{"Missing", nullptr, {"cannot open the traffic log"}},
                    RefusedCase{"BadLines",
                                "0 TX FF 00 | x\n"
                                "# a comment\n"
                                "100 RX 80 80\n"
                                "150 RX 8O | x\n",
                                {"line 3: no ' | '", "line 4: byte 1 '8O'"}},
                    RefusedCase{"OnlyStatus", "0 RX 80 | x\n", {"no frame from the console"}}),
    [](const testing::TestParamInfo<RefusedCase> &p) { return std::string(p.param.name); });

const Bytes kDownload = test::downloadFrame({0x01, 0x02, 0x03});
const Bytes kInit = test::initFrame({test::placedAt(0x01), test::placedAt(0x0B), test::kOff});
const Bytes kStatus{0x01, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x0A, 0x0C, 0x0D,
                    0x00, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00, 0x00, 0x00};

struct SessionCase
{
    const char *name;
    std::optional<Bytes> second; // what the console sends once the status has come; none: it
                                 // closes the line instead
    std::int64_t lastBlockMs;    // the last line of the log, a status block
    int status;
    std::string report; // a line of the report
};

class ReplaySessionTest : public testing::TestWithParam<SessionCase>
{
};

TEST_P(ReplaySessionTest, PlaysTheStatusAndReportsTheConsolesFrames)
{
    if (!test::ptysAvailable())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    const SessionCase &c = GetParam();
    const std::string log =
        writeLog(std::string(c.name) + ".log",
                 formatLogLine(1000, Direction::ToController, kDownload) + "\n" +
                     formatLogLine(1150, Direction::FromController, kStatus) + "\n" +
                     formatLogLine(1200, Direction::ToController, kInit) + "\n" +
                     formatLogLine(c.lastBlockMs, Direction::FromController, kStatus) + "\n");
    SimChild sim({"--replay", log});
    ASSERT_TRUE(sim.started());
    const std::string device = sim.device();
    ASSERT_FALSE(device.empty()) << sim.err;
    const int fd = openLine(device);
    ASSERT_GE(fd, 0);

    // Nothing is played until the console's first frame.
    EXPECT_TRUE(readFor(fd, 1, 300ms).empty());
    ASSERT_TRUE(test::writeAll(fd, kDownload));
    EXPECT_EQ(readFor(fd, kStatus.size(), 2s), kStatus);
    if (c.second)
        ASSERT_TRUE(test::writeAll(fd, *c.second));
    else
        close(fd);

    EXPECT_EQ(sim.waitForExit(5s), c.status) << sim.out << sim.err;
    EXPECT_NE(sim.out.find("\n" + c.report), std::string::npos) << sim.out;
    if (c.second)
        close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Consoles, ReplaySessionTest,
    testing::Values(
        SessionCase{"SameFrames", kInit, 1300, 0, "replay: 2 frames matched, 0 differences"},
        SessionCase{"OtherPlacement",
                    test::initFrame({test::placedAt(0x02), test::placedAt(0x0B), test::kOff}), 1300,
                    1, "replay: 1 frame matched, 1 difference"},
        // The console leaving ends the replay, long before the recording would.
        SessionCase{"ConsoleLeaves", std::nullopt, 60'000, 1,
                    "frame #2 at 1200 ms: not sent, expected FF 0C 00 01"}),
    [](const testing::TestParamInfo<SessionCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
