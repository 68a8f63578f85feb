#pragma once

// Command line of relm-sim.

#include "sim/line_faults.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace relm::sim {

struct Options
{
    std::string device;                  // serve this serial device instead of a new pty
    std::string link;                    // also make this symlink to the line
    std::optional<int> statusIntervalMs; // overrides the program image's interval
    std::string replay;                  // play this traffic log back instead of running trains
    bool pacing = true;                  // both directions at 960 bytes per second
    bool verbose = false;                // one decoded line per frame
    FaultSettings faults;                    // faults on the line; none by default
    bool help = false;
};

struct ParsedOptions
{
    Options options;
    std::string error; // empty when the command line was understood
};

ParsedOptions parseOptions(std::span<const std::string_view> args);

std::string usage();

} // namespace relm::sim
