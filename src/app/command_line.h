#pragma once

// The console's command line, read with Qt's parser before the application object exists, so
// that --help and --version work without a display:
//   relm [--port DEVICE] [--simulate] [--choose] [--layout DIR] [--monitor] [--log FILE]
//        [--serve [ADDRESS:]PORT] [--withrottle [ADDRESS:]PORT] [--section-length MM]
//        [--top-speed MM_PER_S] [--language en|ja]
//        [--help] [--version]
// Without --port or --simulate the connection is the remembered one, or the operator chooses it
// in the connection dialog (start_decision.h).

#include <string>
#include <vector>

namespace relm {

// Strings are UTF-8.
struct ConsoleOptions
{
    std::string port;          // serial device; empty when not given
    bool simulate = false;     // start relm-sim and use the device it prints
    bool choose = false;       // show the connection dialog even when the remembered one works
    bool monitor = false;      // open the traffic monitor at start
    std::string logFile;       // append every frame to this file (absolute); empty for no log
    std::string layoutDir;     // work in this directory; empty to stay in the current one
    std::string serve;         // [ADDRESS:]PORT of the remote panel; empty: nothing listens
    std::string withrottle;    // [ADDRESS:]PORT of the throttle server; empty: nothing listens
    std::string sectionLength; // mm, for the progress check; empty: the sample layout's 1000
    std::string topSpeed;      // mm/s at speed 128, for the progress check; empty: 250
    std::string language;      // "en" or "ja" (lower case); empty: the desktop's language
    double sectionLengthMm = 1000.0; // the two above as numbers, checked
    double topSpeedMmPerS = 250.0;
    bool help = false;
    bool version = false;
};

struct ParsedCommandLine
{
    ConsoleOptions options;
    std::string error; // empty when the line was understood
};

// args are the arguments after the program name. A relative --log FILE is made absolute here,
// against the directory relm was started in, because --layout changes directory afterwards.
ParsedCommandLine parseCommandLine(const std::vector<std::string> &args);

std::string usageText();

} // namespace relm
