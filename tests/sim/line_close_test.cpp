// What the console wrote just before it closed the line still reaches the simulated controller:
// on Exit the console writes train X's stop command and ends at once.

#include "sim/controller.h"

#include "sim_child.h"
#include "support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;

struct CloseCase
{
    const char *name;
    std::vector<std::string> args;
};

class LineCloseTest : public testing::TestWithParam<CloseCase>
{
};

TEST_P(LineCloseTest, TheLastFrameBeforeTheCloseIsApplied)
{
    if (!test::ptysAvailable())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    test::SimChild sim(GetParam().args);
    ASSERT_TRUE(sim.started());
    const std::string device = sim.device();
    ASSERT_FALSE(device.empty()) << sim.err;
    const int fd = test::openLine(device);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(test::writeAll(fd, test::downloadFrame({})));
    ASSERT_TRUE(
        test::writeAll(fd, test::initFrame({test::placedAt(0x01), test::kOff, test::kOff})));
    // Status frames flow: the controller has taken the initialisation.
    ASSERT_EQ(test::readFor(fd, kStatusFrameBytes, 5s).size(), std::size_t{kStatusFrameBytes});
    ASSERT_TRUE(test::writeAll(fd, test::registerFrame({{3, 0x03},
                                                        {4, 0},
                                                        {17, 0x80},
                                                        {18, 0},
                                                        {31, 0x80},
                                                        {32, 0},
                                                        {2, 0x02},
                                                        {7, kCommandStop}})));
    close(fd);
    // Give the controller time to notice the close before it is asked to stop.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_NE(sim.err.find("the console closed the line"), std::string::npos) << sim.err;
    EXPECT_NE(sim.err.find("commands: 1 stop"), std::string::npos) << sim.err;
}

INSTANTIATE_TEST_SUITE_P(Lines, LineCloseTest,
                         testing::Values(CloseCase{"Paced", {}},
                                         CloseCase{"Unpaced", {"--no-pacing"}}),
                         [](const testing::TestParamInfo<CloseCase> &p) {
                             return std::string(p.param.name);
                         });

} // namespace
} // namespace relm::sim
