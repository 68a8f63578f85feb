// relm-startup: starts the console as the operator would, and reports the time from process
// start to both windows painted, and its resident memory once it has settled. The console tells
// when it painted through its own paint log (see startup_log.h); nothing in it is changed.
//
//   relm-startup --relm PATH [--dir DIR] [--runs N] [--settle-ms MS] [-- CONSOLE ARGS...]
//
// The console arguments default to --simulate. Run it under xvfb-run for real windows, or with
// QT_QPA_PLATFORM=offscreen.

#include "process_memory.h"
#include "startup_log.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kStartTimeoutSeconds = 15.0;
constexpr int kStopTimeoutMs = 3000;

struct Options
{
    std::string relm;
    std::string dir = ".";
    int runs = 5;
    int settleMs = 1000; // after both windows painted, before memory is read
    std::vector<std::string> consoleArgs{"--simulate"};
};

struct RunResult
{
    double startupMs = -1; // both windows painted
    double mainMs = -1;
    double mapMs = -1;
    long rssKb = -1;
    long simulatorRssKb = -1;
};

double monotonicSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::vector<pid_t> childrenOf(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    std::vector<pid_t> out;
    long child = 0;
    while (in >> child)
        out.push_back(static_cast<pid_t>(child));
    return out;
}

// Ends a process this probe started, directly or through the console, by its id.
void endProcess(pid_t pid, bool ownChild)
{
    ::kill(pid, SIGTERM);
    for (int waited = 0; waited < kStopTimeoutMs; waited += 10) {
        if (ownChild ? ::waitpid(pid, nullptr, WNOHANG) == pid : ::kill(pid, 0) != 0)
            return;
        ::usleep(10000);
    }
    ::kill(pid, SIGKILL);
    if (ownChild)
        ::waitpid(pid, nullptr, 0);
}

pid_t startConsole(const Options &o, int errorPipe)
{
    std::vector<std::string> store{o.relm};
    store.insert(store.end(), o.consoleArgs.begin(), o.consoleArgs.end());
    std::vector<char *> argv;
    for (std::string &a : store)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::setenv("QT_LOGGING_RULES", relm::bench::kPaintLogRules, 1);
    ::setenv("QT_MESSAGE_PATTERN", relm::bench::kPaintLogPattern, 1);
    if (::chdir(o.dir.c_str()) != 0)
        ::_exit(126);
    ::dup2(errorPipe, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

std::optional<RunResult> runOnce(const Options &o, std::string &error)
{
    int out[2];
    if (::pipe(out) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return std::nullopt;
    }
    const double start = monotonicSeconds();
    const pid_t pid = startConsole(o, out[1]);
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        error = std::string("fork: ") + std::strerror(errno);
        return std::nullopt;
    }

    relm::bench::StartupLog log;
    std::string pending;
    RunResult r;
    double settleUntil = -1;
    bool failed = false;
    // Reads the console's log until both windows have painted and it has settled; the pipe is
    // kept drained all the while so the console never waits on it.
    for (;;) {
        const double now = monotonicSeconds();
        if (settleUntil > 0 && now >= settleUntil)
            break;
        if (now - start > kStartTimeoutSeconds) {
            error = "the windows did not paint within 15 s";
            failed = true;
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            char buf[4096];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) {
                error = "the console ended before it had settled";
                failed = true;
                break;
            }
            pending.append(buf, static_cast<std::size_t>(n));
            std::size_t nl = 0;
            while ((nl = pending.find('\n')) != std::string::npos) {
                log.observe(std::string_view(pending).substr(0, nl));
                pending.erase(0, nl + 1);
            }
        }
        if (log.complete() && settleUntil < 0) {
            r.mainMs = (*log.mainPainted() - start) * 1000;
            r.mapMs = (*log.mapPainted() - start) * 1000;
            r.startupMs = std::max(r.mainMs, r.mapMs);
            settleUntil = monotonicSeconds() + o.settleMs / 1000.0;
        }
    }

    const std::vector<pid_t> helpers = childrenOf(pid);
    if (!failed) {
        r.rssKb = relm::residentKb(pid).value_or(-1);
        for (const pid_t h : helpers)
            r.simulatorRssKb = std::max(r.simulatorRssKb, relm::residentKb(h).value_or(-1));
    }
    endProcess(pid, true);
    for (const pid_t h : helpers)
        endProcess(h, false);
    ::close(out[0]);
    if (failed)
        return std::nullopt;
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

const char *const kUsage =
    "usage: relm-startup --relm PATH [--dir DIR] [--runs N] [--settle-ms MS] [-- ARGS...]\n";

} // namespace

int main(int argc, char **argv)
{
    Options o;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--relm" && hasValue) {
            o.relm = args[++i];
        } else if (args[i] == "--dir" && hasValue) {
            o.dir = args[++i];
        } else if (args[i] == "--runs" && hasValue) {
            o.runs = std::max(1, std::atoi(std::string(args[++i]).c_str()));
        } else if (args[i] == "--settle-ms" && hasValue) {
            o.settleMs = std::max(0, std::atoi(std::string(args[++i]).c_str()));
        } else if (args[i] == "--") {
            o.consoleArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (o.relm.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (o.relm.front() != '/') {
        char here[4096];
        if (::getcwd(here, sizeof here) != nullptr)
            o.relm = std::string(here) + "/" + o.relm;
    }

    std::vector<double> startups;
    std::vector<double> rss;
    long simulatorRss = -1;
    for (int run = 1; run <= o.runs; ++run) {
        std::string error;
        const std::optional<RunResult> r = runOnce(o, error);
        if (!r) {
            std::fprintf(stderr, "relm-startup: run %d: %s\n", run, error.c_str());
            return 1;
        }
        std::printf("startup_run_%d_ms: %.1f (main window %.1f, map window %.1f)\n", run,
                    r->startupMs, r->mainMs, r->mapMs);
        startups.push_back(r->startupMs);
        rss.push_back(static_cast<double>(r->rssKb));
        simulatorRss = std::max(simulatorRss, r->simulatorRssKb);
    }
    std::printf("startup_median_ms: %.1f\n", median(startups));
    std::printf("startup_max_ms: %.1f\n", *std::max_element(startups.begin(), startups.end()));
    std::printf("rss_after_start_median_kb: %.0f\n", median(rss));
    std::printf("rss_after_start_max_kb: %.0f\n", *std::max_element(rss.begin(), rss.end()));
    if (simulatorRss >= 0)
        std::printf("simulator_rss_kb: %ld\n", simulatorRss);
    return 0;
}
