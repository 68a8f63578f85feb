#include "sim/options.h"

#include <charconv>

namespace relm::sim {

namespace {

constexpr int kLowestInterval = 10;
constexpr int kHighestInterval = 10000;

} // namespace

ParsedOptions parseOptions(std::span<const std::string_view> args)
{
    ParsedOptions r;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool takesValue =
            a == "--device" || a == "--link" || a == "--status-interval" || a == "--replay" ||
            a == "--faults";
        if (takesValue && i + 1 >= args.size()) {
            r.error = std::string(a) + " needs a value";
            return r;
        }
        if (a == "--device") {
            r.options.device = args[++i];
        } else if (a == "--link") {
            r.options.link = args[++i];
        } else if (a == "--replay") {
            r.options.replay = args[++i];
            if (r.options.replay.empty()) {
                r.error = "--replay needs the path of a traffic log";
                return r;
            }
        } else if (a == "--status-interval") {
            const std::string_view v = args[++i];
            int ms = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), ms);
            if (ec != std::errc() || end != v.data() + v.size() || ms < kLowestInterval ||
                ms > kHighestInterval) {
                r.error = "--status-interval takes whole milliseconds from " +
                          std::to_string(kLowestInterval) + " to " +
                          std::to_string(kHighestInterval) + ", not '" + std::string(v) + "'";
                return r;
            }
            r.options.statusIntervalMs = ms;
        } else if (a == "--faults") {
            const FaultSettingsParse parsed = parseFaultSettings(args[++i]);
            if (!parsed.error.empty()) {
                r.error = "--faults: " + parsed.error;
                return r;
            }
            r.options.faults = parsed.settings;
        } else if (a == "--no-pacing") {
            r.options.pacing = false;
        } else if (a == "--verbose" || a == "-v") {
            r.options.verbose = true;
        } else if (a == "--help" || a == "-h") {
            r.options.help = true;
        } else {
            r.error = "unknown option '" + std::string(a) + "'";
            return r;
        }
    }
    if (!r.options.replay.empty() && r.options.statusIntervalMs) {
        // The recorded status frames keep their recorded times.
        r.error = "--status-interval cannot be used with --replay";
    }
    if (!r.options.replay.empty() && r.options.faults.any()) {
        // A replay compares what the console sends with the log, byte for byte.
        r.error = "--faults cannot be used with --replay";
    }
    return r;
}

std::string usage()
{
    return "usage: relm-sim [options]\n"
           "Simulated track controller for the RELM console. Serves the controller on a new\n"
           "pseudo-terminal and prints its path alone on the first line of standard output;\n"
           "everything else goes to standard error.\n"
           "\n"
           "  --device PATH          serve an existing serial device instead (9600 8N1 raw)\n"
           "  --link PATH            also make a symlink PATH to the pseudo-terminal\n"
           "                         (removed on exit)\n"
           "  --status-interval MS   send a status frame every MS milliseconds (default 100,\n"
           "                         or what the program image sets)\n"
           "  --no-pacing            deliver bytes at once instead of at 960 bytes per second\n"
           "  --faults SETTINGS          damage the line: a rate per byte such as 1e-5 (bit errors,\n"
           "                         lost bytes and frames sent twice), or settings such as\n"
           "                         bit=1e-5,drop=1e-5,dup=1e-6,outage=1/3600:2s,dir=both,seed=1\n"
           "                         (dir=status or dir=commands damages one direction only)\n"
           "  --replay FILE          play the traffic log FILE (relm --log) back instead of\n"
           "                         running trains: wait for the console's first frame, send\n"
           "                         the logged status frames at their logged times, then\n"
           "                         compare the console's frames with the logged ones\n"
           "  --verbose, -v          log one decoded line per frame in each direction\n"
           "  --help, -h             show this text\n"
           "\n"
           "Ctrl-C or SIGTERM ends it with a summary on standard error.\n"
           "\n"
           "A replay ends one second after the last logged frame, when the console closes the\n"
           "line, or on Ctrl-C or SIGTERM. It prints one line per difference and a summary on\n"
           "standard output and exits 0 when the console sent what the log holds, 1 when it\n"
           "did not, and 2 when the log cannot be read or the line cannot be served.\n";
}

} // namespace relm::sim
