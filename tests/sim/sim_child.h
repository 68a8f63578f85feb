#pragma once

// relm-sim run as a child process, and the console's end of its line, for tests of the program.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace relm::sim::test {

// relm-sim with its standard output and error on pipes, read as they fill so neither blocks it.
class SimChild
{
public:
    explicit SimChild(std::vector<std::string> args);
    SimChild(const SimChild &) = delete;
    SimChild &operator=(const SimChild &) = delete;
    ~SimChild();

    bool started() const { return m_pid > 0; }

    // The first line of standard output (the device), once it is there.
    std::string device();

    // The exit status once relm-sim has ended by itself, or none within the time.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);

    // Sends SIGTERM and waits for the exit status.
    std::optional<int> terminate();

    std::string out; // standard output so far
    std::string err; // standard error so far

private:
    bool drain(int waitMs);

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

bool ptysAvailable();

// Opens the console's end of the line, raw and non-blocking; -1 on failure.
int openLine(const std::string &path);

// What arrives on fd within the time, up to `want` bytes.
std::vector<std::uint8_t> readFor(int fd, std::size_t want, std::chrono::milliseconds limit);

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes);

} // namespace relm::sim::test
