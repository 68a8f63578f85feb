#include "console/command_line.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

// Each line with what it sets, shown as "port simulate log", or "refused".
TEST(CommandLineTest, ReadsTheOptionsAndRefusesWhatItDoesNotUnderstand)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, defaultPort() + " 0 "},
        {{"--port", "/dev/ttyS3"}, "/dev/ttyS3 0 "},
        {{"--port=/dev/ttyACM0"}, "/dev/ttyACM0 0 "},
        {{"--simulate", "--log", "t.log"}, defaultPort() + " 1 t.log"},
        {{"--port"}, "refused"},
        {{"--port="}, "refused"},
        {{"--log"}, "refused"},
        {{"--fast"}, "refused"},
        {{"--simulate", "--port", "/dev/ttyS0"}, "refused"}};
    for (const auto &[args, expected] : cases) {
        const ParsedCommandLine p = parseCommandLine(args);
        const ConsoleOptions &o = p.options;
        const std::string got = o.port + (o.simulate ? " 1 " : " 0 ") + o.logFile;
        EXPECT_EQ(p.error.empty() ? got : "refused", expected) << testing::PrintToString(args);
    }
}

} // namespace
} // namespace relm
