#include "console/command_line.h"

namespace relm {

std::string defaultPort()
{
#ifdef _WIN32
    return "COM1";
#else
    return "/dev/ttyUSB0";
#endif
}

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    ParsedCommandLine parsed;
    ConsoleOptions &o = parsed.options;
    bool portGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--port") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                parsed.error = "--port needs a device name, e.g. --port /dev/ttyUSB0";
                return parsed;
            }
            o.port = args[++i];
            portGiven = true;
        } else if (a.rfind("--port=", 0) == 0 && a.size() > 7) {
            o.port = a.substr(7);
            portGiven = true;
        } else if (a == "--log") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                parsed.error = "--log needs a file name, e.g. --log traffic.log";
                return parsed;
            }
            o.logFile = args[++i];
        } else if (a == "--serve") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                parsed.error = "--serve needs [ADDRESS:]PORT, e.g. --serve 8080 or --serve 0.0.0.0:8080";
                return parsed;
            }
            o.serve = args[++i];
        } else if (a == "--monitor") {
            o.monitor = true;
        } else if (a == "--simulate") {
            o.simulate = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else {
            parsed.error = "unknown argument '" + a + "'";
            return parsed;
        }
    }
    if (portGiven && o.simulate) {
        parsed.error = "--port and --simulate exclude each other: the simulator names its own device";
        return parsed;
    }
    if (!portGiven)
        o.port = defaultPort();
    return parsed;
}

std::string usageText()
{
    return "usage: relm [--port DEVICE] [--simulate] [--monitor] [--log FILE]\n"
           "            [--serve [ADDRESS:]PORT] [--help] [--version]\n"
           "\n"
           "RELM operator console for the automatic train control layout.\n"
           "Files atc.ini, kukan.dat and atctest.bin are opened in the current directory.\n"
           "\n"
           "  --port DEVICE  serial device of the track controller (default: " +
           defaultPort() +
           ")\n"
           "  --simulate     start the simulated controller relm-sim and use its device\n"
           "  --monitor      open the traffic monitor at start (F2 opens it any time)\n"
           "  --log FILE     append every frame in both directions to FILE\n"
           "  --serve [ADDRESS:]PORT\n"
           "                 serve the remote panel (web page) there; ADDRESS defaults to\n"
           "                 127.0.0.1, PORT 0 picks a free port; prints the view and control\n"
           "                 URLs. 0.0.0.0:PORT serves other machines: the token is the only guard\n"
           "  --help         show this text and end\n"
           "  --version      show the version and end\n";
}

} // namespace relm
