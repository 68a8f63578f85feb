#include "sim/options.h"

#include <gtest/gtest.h>

#include <vector>

namespace relm::sim {
namespace {

struct OptionsCase
{
    const char *name;
    std::vector<std::string_view> args;
    bool ok;
    Options expected;
};

class OptionsTest : public testing::TestWithParam<OptionsCase>
{
};

TEST_P(OptionsTest, Parses)
{
    const ParsedOptions r = parseOptions(GetParam().args);
    EXPECT_EQ(r.error.empty(), GetParam().ok) << r.error;
    if (!GetParam().ok)
        return;
    const Options &e = GetParam().expected;
    EXPECT_EQ(r.options.device, e.device);
    EXPECT_EQ(r.options.link, e.link);
    EXPECT_EQ(r.options.statusIntervalMs, e.statusIntervalMs);
    EXPECT_EQ(r.options.pacing, e.pacing);
    EXPECT_EQ(r.options.verbose, e.verbose);
    EXPECT_EQ(r.options.help, e.help);
}

Options with(void (*f)(Options &))
{
    Options o;
    f(o);
    return o;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionsTest,
    testing::Values(OptionsCase{"Nothing", {}, true, {}},
                    OptionsCase{"All",
                                {"--device", "/dev/ttyUSB0", "--link", "/tmp/atc",
                                 "--status-interval", "250", "--no-pacing", "--verbose"},
                                true,
                                with([](Options &o) {
                                    o.device = "/dev/ttyUSB0";
                                    o.link = "/tmp/atc";
                                    o.statusIntervalMs = 250;
                                    o.pacing = false;
                                    o.verbose = true;
                                })},
                    OptionsCase{"Help", {"-h"}, true, with([](Options &o) { o.help = true; })},
                    OptionsCase{"IntervalMissing", {"--status-interval"}, false, {}},
                    OptionsCase{"IntervalNotANumber", {"--status-interval", "fast"}, false, {}},
                    OptionsCase{"IntervalTrailingJunk", {"--status-interval", "100ms"}, false, {}},
                    OptionsCase{"IntervalTooSmall", {"--status-interval", "9"}, false, {}},
                    OptionsCase{"IntervalTooLarge", {"--status-interval", "10001"}, false, {}},
                    OptionsCase{"IntervalNegative", {"--status-interval", "-100"}, false, {}},
                    OptionsCase{"Unknown", {"--baud", "19200"}, false, {}},
                    OptionsCase{"DeviceWithoutPath", {"--device"}, false, {}}),
    [](const testing::TestParamInfo<OptionsCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
