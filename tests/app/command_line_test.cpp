#include "app/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace relm {
namespace {

// Each line with what it sets, shown as "port simulate choose monitor layout log", or the error.
TEST(CommandLineTest, ReadsTheOptionsAndRefusesWhatItDoesNotUnderstand)
{
    const std::string here = std::filesystem::current_path().string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        // No device: the remembered connection or the connection dialog decides.
        {{}, " 0 0 0  "},
        {{"--port", "/dev/ttyS3"}, "/dev/ttyS3 0 0 0  "},
        {{"--port=/dev/ttyACM0"}, "/dev/ttyACM0 0 0 0  "},
        {{"--port", "a", "--port", "b"}, "b 0 0 0  "},
        {{"--simulate", "--monitor", "--log", "/tmp/t.log"}, " 1 0 1  /tmp/t.log"},
        {{"--choose", "--layout", "hall"}, " 0 1 0 hall "},
        // A relative log is where relm was started, not in the layout directory.
        {{"--layout", "layouts/hall", "--log", "t.log"}, " 0 0 0 layouts/hall " + here + "/t.log"},
        {{"--layout=~/レイアウト"}, " 0 0 0 ~/レイアウト "},
        {{"--port"}, "Missing value after '--port'."},
        {{"--port="}, "--port needs a device name, e.g. --port /dev/ttyUSB0"},
        {{"--log"}, "Missing value after '--log'."},
        {{"--layout", ""}, "--layout needs a directory, e.g. --layout ~/my-layout"},
        {{"--fast"}, "Unknown option 'fast'."},
        {{"-x"}, "Unknown option 'x'."},
        {{"/dev/ttyS0"}, "unknown argument '/dev/ttyS0'"},
        {{"--monitor", "--", "--simulate"}, "unknown argument '--simulate'"},
        {{"--simulate", "--port", "/dev/ttyS0"},
         "--port and --simulate exclude each other: the simulator names its own device"},
        {{"--choose", "--simulate"},
         "--choose is for choosing the connection in the dialog; it excludes --port and "
         "--simulate"},
        {{"--port", "/dev/ttyS0", "--choose"},
         "--choose is for choosing the connection in the dialog; it excludes --port and "
         "--simulate"}};
    for (const auto &[args, expected] : cases) {
        const ParsedCommandLine p = parseCommandLine(args);
        const ConsoleOptions &o = p.options;
        const std::string got = o.port + (o.simulate ? " 1" : " 0") + (o.choose ? " 1" : " 0") +
                                (o.monitor ? " 1 " : " 0 ") + o.layoutDir + " " + o.logFile;
        EXPECT_EQ(p.error.empty() ? got : p.error, expected) << testing::PrintToString(args);
    }
}

// The remote panel's and the throttle server's addresses are taken as given (they are read
// later); the layout's figures are numbers from 1 to 100000.
TEST(CommandLineTest, ReadsTheServeAddressesAndTheLayoutsFigures)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{}, "  1000 250"},
        {{"--serve", "0.0.0.0:8080", "--section-length", "600", "--top-speed", "312.5"},
         "0.0.0.0:8080  600 312.5"},
        {{"--withrottle", "12090", "--serve", "0"}, "0 12090 1000 250"},
        {{"--serve"}, "Missing value after '--serve'."},
        {{"--withrottle="},
         "--withrottle needs [ADDRESS:]PORT, e.g. --withrottle 12090 or "
         "--withrottle 0.0.0.0:12090"},
        {{"--section-length", "0"}, "--section-length needs a number from 1 to 100000, not '0'"},
        {{"--top-speed", "fast"}, "--top-speed needs a number from 1 to 100000, not 'fast'"},
        {{"--top-speed", "nan"}, "--top-speed needs a number from 1 to 100000, not 'nan'"},
        {{"--section-length", "1e9"},
         "--section-length needs a number from 1 to 100000, not '1e9'"}};
    for (const auto &[args, expected] : cases) {
        const ParsedCommandLine p = parseCommandLine(args);
        const ConsoleOptions &o = p.options;
        std::ostringstream got;
        got << o.serve << ' ' << o.withrottle << ' ' << o.sectionLengthMm << ' '
            << o.topSpeedMmPerS;
        EXPECT_EQ(p.error.empty() ? got.str() : p.error, expected) << testing::PrintToString(args);
    }
}

TEST(CommandLineTest, HelpAndVersionNeedNothingElse)
{
    const std::vector<std::pair<std::vector<std::string>, std::pair<bool, bool>>> cases{
        {{"--help"}, {true, false}},
        {{"-h"}, {true, false}},
        {{"--version"}, {false, true}},
        {{"--layout", "/nowhere", "--version"}, {false, true}}};
    for (const auto &[args, expected] : cases) {
        const ParsedCommandLine p = parseCommandLine(args);
        ASSERT_EQ(p.error, "") << testing::PrintToString(args);
        EXPECT_EQ(std::pair(p.options.help, p.options.version), expected)
            << testing::PrintToString(args);
    }
}

TEST(CommandLineTest, ReadsTheLanguageAsEnOrJaOnly)
{
    EXPECT_EQ(parseCommandLine({}).options.language, "");
    EXPECT_EQ(parseCommandLine({"--language", "EN"}).options.language, "en");
    EXPECT_EQ(parseCommandLine({"--language=ja"}).options.language, "ja");
    EXPECT_EQ(parseCommandLine({"--language", "de"}).error, "--language needs en or ja, not 'de'");
    EXPECT_EQ(parseCommandLine({"--language", ""}).error,
              "--language needs en or ja, e.g. --language en");
    EXPECT_NE(usageText().find("--language en|ja"), std::string::npos);
}

TEST(CommandLineTest, UsageLinesFitATerminal)
{
    const std::string text = usageText();
    EXPECT_EQ(text.rfind("usage: relm [--port DEVICE] [--simulate] [--choose] [--layout DIR]", 0),
              0u)
        << text;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
    }
}

} // namespace
} // namespace relm
