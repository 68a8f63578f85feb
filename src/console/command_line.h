#pragma once

// The console's command line:
//   relm [--port DEVICE] [--simulate] [--monitor] [--log FILE] [--serve [ADDRESS:]PORT]
//        [--help] [--version]

#include <string>
#include <vector>

namespace relm {

struct ConsoleOptions
{
    std::string port;          // serial device; the platform default when not given
    bool simulate = false;     // start relm-sim and use the device it prints
    bool monitor = false;      // open the traffic monitor at start
    std::string logFile;       // append every frame to this file; empty for no log
    std::string serve;         // [ADDRESS:]PORT of the remote panel; empty: nothing listens
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine
{
    ConsoleOptions options;
    std::string error; // empty when the line was understood
};

// The serial device used when --port is not given.
std::string defaultPort();

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args);

std::string usageText();

} // namespace relm
