#include "console/command_line.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(CommandLineTest, DefaultsToThePlatformPort)
{
    const auto p = parseCommandLine({});
    EXPECT_TRUE(p.error.empty());
    EXPECT_EQ(p.options.port, defaultPort());
    EXPECT_FALSE(p.options.simulate);
}

TEST(CommandLineTest, ReadsEveryOption)
{
    auto p = parseCommandLine({"--port", "/dev/ttyS3"});
    EXPECT_EQ(p.options.port, "/dev/ttyS3");
    p = parseCommandLine({"--port=/dev/ttyACM0"});
    EXPECT_EQ(p.options.port, "/dev/ttyACM0");
    p = parseCommandLine({"--simulate"});
    EXPECT_TRUE(p.options.simulate);
    EXPECT_TRUE(parseCommandLine({"--help"}).options.help);
    EXPECT_TRUE(parseCommandLine({"--version"}).options.version);
}

TEST(CommandLineTest, RefusesWhatItDoesNotUnderstand)
{
    EXPECT_NE(parseCommandLine({"--port"}).error, "");
    EXPECT_NE(parseCommandLine({"--port", ""}).error, "");
    EXPECT_NE(parseCommandLine({"--fast"}).error, "");
    EXPECT_NE(parseCommandLine({"/dev/ttyS0"}).error, "");
    EXPECT_NE(parseCommandLine({"--simulate", "--port", "/dev/ttyS0"}).error, "");
}

} // namespace
} // namespace relm
