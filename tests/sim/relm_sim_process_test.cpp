// Runs the relm-sim program on a pseudo-terminal the way the console uses it.

#include "sim/controller.h"
#include "sim/program_image.h"

#include "support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using Clock = std::chrono::steady_clock;

// Reads what is there until `deadline`, or until `enough` says stop.
template <typename Enough> std::string readUntil(int fd, Clock::time_point deadline, Enough enough)
{
    std::string got;
    while (!enough(got) && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        char buf[512];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

void writeAll(int fd, const Bytes &b)
{
    std::size_t done = 0;
    while (done < b.size()) {
        const ssize_t n = write(fd, b.data() + done, b.size() - done);
        ASSERT_GT(n, 0) << std::strerror(errno);
        done += static_cast<std::size_t>(n);
    }
}

int openLine(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// The relm-sim process with its standard output and error on pipes.
class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addclose(&fa, err[0]);
        args.insert(args.begin(), RELM_SIM_BINARY);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, RELM_SIM_BINARY, &fa, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(out[1]);
        close(err[1]);
        m_out = out[0];
        m_err = err[0];
        fcntl(m_err, F_SETFL, O_NONBLOCK);
    }
    ~SimProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_out);
        close(m_err);
    }
    bool started() const { return m_pid > 0; }

    std::string firstLine()
    {
        const std::string got = readUntil(m_out, Clock::now() + 10s, [](const std::string &s) {
            return s.find('\n') != std::string::npos;
        });
        return got.substr(0, got.find('\n'));
    }

    // Sends SIGTERM and returns the exit status and everything written to standard error.
    std::pair<int, std::string> terminate()
    {
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        std::string err =
            readUntil(m_err, Clock::now() + 1s, [](const std::string &) { return false; });
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

bool ptysAvailable()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// Status frames in `got`, 24 bytes each from the first byte.
std::vector<std::array<test::Record, kTrains>> frames(const std::string &got)
{
    std::vector<std::array<test::Record, kTrains>> all;
    for (std::size_t at = 0; at + kStatusFrameBytes <= got.size(); at += kStatusFrameBytes)
        all.push_back(
            test::lastStatus(Bytes(got.begin() + static_cast<long>(at),
                                   got.begin() + static_cast<long>(at) + kStatusFrameBytes)));
    return all;
}

TEST(RelmSimProcessTest, DownloadInitialiseRunAndStop)
{
    if (!ptysAvailable())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    const std::string link = testing::TempDir() + "relm-sim-test-link";
    SimProcess sim({"--link", link, "--verbose"});
    ASSERT_TRUE(sim.started());
    const std::string device = sim.firstLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(device, target);

    const int fd = openLine(link);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    // Short sections and brisk trains, so a train changes section within about two seconds.
    const Bytes image = buildImage(std::vector<ImageParameter>{{ImageKey::SectionLengthMm, 400},
                                                               {ImageKey::AccelerationPerS, 128}},
                                   "process test");
    writeAll(fd, test::downloadFrame(image));
    writeAll(fd, test::initFrame({test::placedAt(0x01), test::placedAt(0x0B), test::kOff}));

    std::string got;
    const auto deadline = Clock::now() + 15s;
    bool moved = false;
    while (!moved && Clock::now() < deadline) {
        writeAll(fd, test::commandFrame({0x03, 0x0D, 0x80}, {128, 0, 0}));
        got += readUntil(fd, Clock::now() + 200ms, [](const std::string &) { return false; });
        for (const auto &f : frames(got))
            moved = moved || (f[0].own == 0x02 && f[0].behind == 0x01 && f[0].speed > 0);
    }
    ASSERT_TRUE(moved) << got.size() << " status bytes";
    const auto last = frames(got).back();
    EXPECT_EQ(last[1].own, 0x0B);
    EXPECT_EQ(last[1].speed, 0);
    EXPECT_EQ(last[2].own, 0x80);

    // The stop handshake: the last frame carries 255 in train X's command register.
    writeAll(fd, test::registerFrame({{3, 0x04}, {4, 0}, {2, 0x03}, {7, kCommandStop}}));
    readUntil(fd, Clock::now() + 300ms, [](const std::string &) { return false; });
    EXPECT_EQ(readUntil(fd, Clock::now() + 500ms, [](const std::string &) { return false; }), "");
    close(fd);

    const auto [status, err] = sim.terminate();
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("program image received: " + std::to_string(image.size()) + " bytes"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("downloads: 1"), std::string::npos) << err;
    EXPECT_NE(err.find("1 stop"), std::string::npos) << err;
    EXPECT_NE(err.find("malformed input: 0"), std::string::npos) << err;
    EXPECT_NE(err.find("in  n=12 X.own=01"), std::string::npos) << err;
    struct stat st
    {
    };
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link outlives the program";
}

TEST(RelmSimProcessTest, KeepsServingAfterTheConsoleClosesTheLine)
{
    if (!ptysAvailable())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    SimProcess sim({"--no-pacing"});
    ASSERT_TRUE(sim.started());
    const std::string device = sim.firstLine();
    ASSERT_FALSE(device.empty());

    int fd = openLine(device);
    ASSERT_GE(fd, 0);
    writeAll(fd, test::downloadFrame({}));
    writeAll(fd, test::initFrame({test::kOff, test::kOff, test::kOff}));
    const auto oneFrame = [](const std::string &s) { return s.size() >= kStatusFrameBytes; };
    EXPECT_TRUE(oneFrame(readUntil(fd, Clock::now() + 5s, oneFrame)));
    close(fd);

    // The console comes back: the program is still running and status frames flow again.
    usleep(300'000);
    fd = openLine(device);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(oneFrame(readUntil(fd, Clock::now() + 5s, oneFrame)));
    close(fd);

    const auto [status, err] = sim.terminate();
    EXPECT_EQ(status, 0);
    EXPECT_NE(err.find("closed the line"), std::string::npos) << err;
    EXPECT_NE(err.find("downloads: 1"), std::string::npos) << err;
}

} // namespace
} // namespace relm::sim
