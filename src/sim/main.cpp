// relm-sim: the simulated track controller served on a pseudo-terminal or serial device.

#include "sim/endpoint.h"
#include "sim/options.h"
#include "sim/server.h"

#include <cstdio>
#include <string_view>
#include <vector>

int main(int argc, char **argv)
{
    using namespace relm::sim;
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
    std::string error;
    Endpoint line =
        o.device.empty() ? Endpoint::openPty(error) : Endpoint::openDevice(o.device, error);
    if (!line.valid()) {
        std::fprintf(stderr, "relm-sim: %s\n", error.c_str());
        return 1;
    }
    LinkGuard link;
    if (!o.link.empty() && !link.make(line.path(), o.link, error)) {
        std::fprintf(stderr, "relm-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", line.path().c_str());
    std::fflush(stdout);
    return serve(line, o);
}
