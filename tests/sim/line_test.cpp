// relm-sim as a program on a pseudo-terminal, the way the console uses it: serving the simulated
// controller, and playing a traffic log back.

#include "sim/program_image.h"
#include "sim/replay_plan.h"
#include "traffic/traffic_log.h"

#include "support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;
using Clock = std::chrono::steady_clock;

// Tries `done` every 20 ms for up to ten seconds.
template <typename F> bool eventually(F done)
{
    for (const auto end = Clock::now() + 10s; Clock::now() < end;
         std::this_thread::sleep_for(20ms)) {
        if (done())
            return true;
    }
    return false;
}

// relm-sim as a child process, its standard output and error together in a file.
class SimChild
{
public:
    SimChild(const std::string &name, std::vector<std::string> args)
        : m_outPath(testing::TempDir() + name + ".out")
    {
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        args.insert(args.begin(), RELM_SIM_BINARY);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, RELM_SIM_BINARY, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~SimChild()
    {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0)
            waitpid(m_pid, nullptr, 0);
    }

    std::string out() const
    {
        std::ifstream f(m_outPath);
        return {std::istreambuf_iterator<char>(f), {}};
    }

    // Its exit status once it has ended, after SIGTERM when `stop`; -1 if it does not end.
    int exitStatus(bool stop = false)
    {
        int status = 0;
        if (m_pid <= 0 || (stop && kill(m_pid, SIGTERM) != 0) ||
            !eventually([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }))
            return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::string m_outPath;
    pid_t m_pid = -1;
};

// The console's end of the line, raw, a read waiting at most 100 ms for a byte; once relm-sim
// has made the link to it.
int openLine(const std::string &link)
{
    int fd = -1;
    eventually([&] { return (fd = open(link.c_str(), O_RDWR | O_NOCTTY)) >= 0; });
    termios t{};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 1;
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// What arrives within the time, up to `want` bytes.
Bytes readFor(int fd, std::size_t want, std::chrono::milliseconds limit)
{
    Bytes got(want);
    std::size_t n = 0;
    for (const auto end = Clock::now() + limit; n < want && Clock::now() < end;)
        n += static_cast<std::size_t>(std::max<ssize_t>(0, read(fd, &got[n], want - n)));
    got.resize(n);
    return got;
}

bool writeAll(int fd, const Bytes &bytes)
{
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

TEST(RelmSimLineTest, ServesTheConsoleAndTakesItsLastFrameBeforeTheClose)
{
    const std::string link = testing::TempDir() + "relm-sim-test-link";
    SimChild sim("relm-sim-session", {"--link", link});
    const int fd = openLine(link);
    // Short sections and brisk trains, so a train changes section within about two seconds.
    const Bytes image = buildImage(std::vector<ImageParameter>{{ImageKey::SectionLengthMm, 400},
                                                               {ImageKey::AccelerationPerS, 128}},
                                   "line test");
    ASSERT_TRUE(writeAll(
        fd, concat({downloadFrame(image), initFrame({placedAt(0x01), placedAt(0x0B), kOff})})))
        << sim.out();
    Bytes got;
    std::array<Record, kTrains> r{};
    for (int tick = 0; tick < 50 && r[0][kOwn] != 0x02; ++tick) {
        ASSERT_TRUE(writeAll(fd, commandFrame({0x03, 0x0D, 0x80}, {128, 0, 0})));
        got = concat({got, readFor(fd, 1000, 200ms)});
        r = lastStatus(got);
    }
    EXPECT_EQ(r[0], (Record{0x02, 0x01, 0x03, r[0][kAfter], 128, r[0][kSpeed], 0, 0}));
    EXPECT_GT(r[0][kSpeed], 0);
    EXPECT_EQ(r[1], (Record{0x0B, 0x0A, 0x0C, 0x0D, 0, 0, 0, 0}));
    EXPECT_EQ(r[2][kOwn], 0x80);

    // On Exit the console writes train X's stop command and closes the line at once.
    ASSERT_TRUE(writeAll(fd, registerFrame({{3, 0x04}, {4, 0}, {2, 0x03}, {7, kCommandStop}})));
    close(fd);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sim.exitStatus(true), 0);
    for (const char *s : {"the console closed the line", "downloads: 1", "commands: 1 stop"})
        EXPECT_NE(sim.out().find(s), std::string::npos) << s << "\n" << sim.out();
    char target[64];
    EXPECT_LT(readlink(link.c_str(), target, sizeof target), 0) << "the link outlives relm-sim";
}

// With every status byte lost on the way the console hears nothing, while the controller still
// takes the console's frames and counts the bytes the line lost.
TEST(RelmSimLineTest, FaultsOnTheLineDamageTheDirectionTheyAreGivenFor)
{
    const std::string link = testing::TempDir() + "relm-sim-faults-link";
    SimChild sim("relm-sim-faults", {"--link", link, "--faults", "drop=1,dir=status"});
    const int fd = openLine(link);
    ASSERT_TRUE(writeAll(fd, concat({downloadFrame({0x01, 0x02, 0x03}),
                                     initFrame({placedAt(0x01), placedAt(0x0B), kOff})})))
        << sim.out();
    EXPECT_EQ(readFor(fd, 24, 600ms), Bytes{});
    close(fd);
    EXPECT_EQ(sim.exitStatus(true), 0);
    const std::string out = sim.out();
    EXPECT_NE(out.find("line faults: drop=1,dir=status"), std::string::npos) << out;
    EXPECT_NE(out.find("frames in: 1 applied"), std::string::npos) << out;
    EXPECT_NE(out.find("line faults to the controller: 0 bit errors, 0 bytes lost"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("line faults to the console: 0 bit errors, 0 bytes lost"),
              std::string::npos)
        << out;
}

const Bytes kDownload = downloadFrame({0x01, 0x02, 0x03});
const Bytes kInit = initFrame({placedAt(0x01), placedAt(0x0B), kOff});
const Bytes kStatus{0x01, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x0A, 0x0C, 0x0D,
                    0x00, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00, 0x00, 0x00};

// Download, status, initialisation and a last status block at `lastMs`.
std::string recording(std::int64_t lastMs)
{
    return formatLogLine(1000, Direction::ToController, kDownload) + "\n" +
           formatLogLine(1150, Direction::FromController, kStatus) + "\n" +
           formatLogLine(1200, Direction::ToController, kInit) + "\n" +
           formatLogLine(lastMs, Direction::FromController, kStatus) + "\n";
}

struct ReplayCase
{
    const char *name;
    int status;
    Bytes second; // what the console sends after the status, if anything, before it leaves
    std::string log;
    std::string report;
};

class ReplayLineTest : public testing::TestWithParam<ReplayCase>
{
};

TEST_P(ReplayLineTest, ExitStatusTellsWhetherTheConsoleDidAsRecorded)
{
    const ReplayCase &c = GetParam();
    const std::string path = testing::TempDir() + c.name + ".log";
    std::ofstream(path) << c.log;
    SimChild sim(c.name, {"--replay", path, "--link", path + ".line"});
    if (c.status != kReplayUnreadable) {
        const int fd = openLine(path + ".line");
        EXPECT_TRUE(readFor(fd, 1, 200ms).empty()) << "played before the console's first frame";
        EXPECT_TRUE(writeAll(fd, kDownload));
        EXPECT_EQ(readFor(fd, kStatus.size(), 2s), kStatus);
        EXPECT_TRUE(writeAll(fd, c.second));
        close(fd); // leaving ends the replay, however long the recording
    }
    EXPECT_EQ(sim.exitStatus(), c.status) << sim.out();
    EXPECT_NE(sim.out().find(c.report), std::string::npos) << sim.out();
}

INSTANTIATE_TEST_SUITE_P(
    Logs, ReplayLineTest,
    testing::Values(ReplayCase{"BadLines", 2, Bytes{},
                               "0 TX FF 00 | x\n# a comment\n100 RX 80\n150 RX 8O | x\n",
                               "line 4: byte 1 '8O'"},
                    ReplayCase{"SameFrames", 0, kInit, recording(1300),
                               "replay: 2 frames matched, 0 differences"},
                    ReplayCase{"OtherPlacement", 1,
                               initFrame({placedAt(0x02), placedAt(0x0B), kOff}), recording(1300),
                               "replay: 1 frame matched, 1 difference"},
                    ReplayCase{"ConsoleLeaves", 1, Bytes{}, recording(60'000),
                               "frame #2 at 1200 ms: not sent, expected FF 0C 00 01"}),
    [](const testing::TestParamInfo<ReplayCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
