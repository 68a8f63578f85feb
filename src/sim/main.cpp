// relm-sim: the simulated track controller served on a pseudo-terminal or serial device, or a
// recorded controller played back from a traffic log.

#include "sim/endpoint.h"
#include "sim/options.h"
#include "sim/replay_plan.h"
#include "sim/server.h"

#include <cstdio>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

namespace {

using namespace relm::sim;

// The plan of the log to play back, or none after the reasons went to stderr.
std::optional<ReplayPlan> loadPlan(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "relm-sim: cannot open the traffic log %s\n", path.c_str());
        return std::nullopt;
    }
    ReplayLoad load = loadReplay(in);
    if (in.bad()) {
        std::fprintf(stderr, "relm-sim: reading the traffic log %s failed\n", path.c_str());
        return std::nullopt;
    }
    if (!load.ok()) {
        for (const std::string &e : load.errors)
            std::fprintf(stderr, "relm-sim: %s: %s\n", path.c_str(), e.c_str());
        return std::nullopt;
    }
    std::fprintf(stderr,
                 "relm-sim: replaying %s: %zu frames from the console, %zu status blocks over "
                 "%s s\n",
                 path.c_str(), load.plan.expected.size(), load.plan.blocks.size(),
                 formatTime(load.plan.length).c_str());
    if (load.plan.blocksBeforeStart > 0) {
        std::fprintf(stderr,
                     "relm-sim: %zu blocks logged before the console's first frame are not "
                     "played\n",
                     load.plan.blocksBeforeStart);
    }
    return std::move(load.plan);
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = parseOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "relm-sim: %s\n%s", parsed.error.c_str(), usage().c_str());
        return 2;
    }
    const Options &o = parsed.options;
    if (o.help) {
        std::fputs(usage().c_str(), stdout);
        return 0;
    }
    const bool replay = !o.replay.empty();
    std::optional<ReplayPlan> plan;
    if (replay) {
        plan = loadPlan(o.replay);
        if (!plan)
            return kReplayUnreadable;
    }
    // In a replay 1 means a difference, so failing to serve the line reports as 2.
    const int cannotServe = replay ? kReplayUnreadable : 1;
    std::string error;
    Endpoint line =
        o.device.empty() ? Endpoint::openPty(error) : Endpoint::openDevice(o.device, error);
    if (!line.valid()) {
        std::fprintf(stderr, "relm-sim: %s\n", error.c_str());
        return cannotServe;
    }
    LinkGuard link;
    if (!o.link.empty() && !link.make(line.path(), o.link, error)) {
        std::fprintf(stderr, "relm-sim: %s\n", error.c_str());
        return cannotServe;
    }
    std::printf("%s\n", line.path().c_str());
    std::fflush(stdout);
    return replay ? serveReplay(line, o, std::move(*plan)) : serve(line, o);
}
