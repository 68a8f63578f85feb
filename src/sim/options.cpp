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
        const bool takesValue = a == "--device" || a == "--link" || a == "--status-interval";
        if (takesValue && i + 1 >= args.size()) {
            r.error = std::string(a) + " needs a value";
            return r;
        }
        if (a == "--device") {
            r.options.device = args[++i];
        } else if (a == "--link") {
            r.options.link = args[++i];
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
           "  --verbose, -v          log one decoded line per frame in each direction\n"
           "  --help, -h             show this text\n"
           "\n"
           "Ctrl-C or SIGTERM ends it with a summary on standard error.\n";
}

} // namespace relm::sim
