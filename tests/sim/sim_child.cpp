#include "sim_child.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace relm::sim::test {

using Clock = std::chrono::steady_clock;

SimChild::SimChild(std::vector<std::string> args)
{
    int toOut[2];
    int toErr[2];
    if (pipe(toOut) != 0 || pipe(toErr) != 0)
        return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, toOut[1], 1);
    posix_spawn_file_actions_adddup2(&fa, toErr[1], 2);
    posix_spawn_file_actions_addclose(&fa, toOut[0]);
    posix_spawn_file_actions_addclose(&fa, toErr[0]);
    args.insert(args.begin(), RELM_SIM_BINARY);
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, RELM_SIM_BINARY, &fa, nullptr, argv.data(), environ) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(toOut[1]);
    close(toErr[1]);
    m_out = toOut[0];
    m_err = toErr[0];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    fcntl(m_err, F_SETFL, O_NONBLOCK);
}

SimChild::~SimChild()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    close(m_out);
    close(m_err);
}

std::string SimChild::device()
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (out.find('\n') == std::string::npos && Clock::now() < deadline && drain(20)) {
    }
    return out.substr(0, out.find('\n'));
}

std::optional<int> SimChild::waitForExit(std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (m_pid > 0 && Clock::now() < deadline) {
        drain(20);
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            while (drain(0)) {
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return std::nullopt;
}

std::optional<int> SimChild::terminate()
{
    if (m_pid <= 0)
        return std::nullopt;
    kill(m_pid, SIGTERM);
    return waitForExit(std::chrono::seconds(10));
}

// Reads what the pipes hold; false once both are at their end.
bool SimChild::drain(int waitMs)
{
    pollfd p[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
    poll(p, 2, waitMs);
    bool open = false;
    for (auto [fd, text] : {std::pair{m_out, &out}, std::pair{m_err, &err}}) {
        char buf[512];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            text->append(buf, static_cast<std::size_t>(n));
        open = open || n > 0 || (n < 0 && errno == EAGAIN);
    }
    return open;
}

bool ptysAvailable()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    close(fd);
    return true;
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

std::vector<std::uint8_t> readFor(int fd, std::size_t want, std::chrono::milliseconds limit)
{
    std::vector<std::uint8_t> got;
    const auto deadline = Clock::now() + limit;
    while (got.size() < want && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0)
            continue;
        std::uint8_t buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
    }
    return got;
}

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace relm::sim::test
