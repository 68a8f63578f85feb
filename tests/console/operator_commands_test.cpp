#include "console/operator_commands.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

constexpr std::uint32_t kFace = 0x8000000F;

struct SliderCase
{
    int position;
    int speed;
};

class SliderTest : public testing::TestWithParam<SliderCase>
{};

TEST_P(SliderTest, SpeedIsMaximumMinusPosition)
{
    Module1 m;
    sliderMoved(m, 1, 128, GetParam().position);
    EXPECT_EQ(m.SliderSpeed[1], GetParam().speed);
    EXPECT_EQ(m.SliderSpeed[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Positions, SliderTest,
                         testing::Values(SliderCase{128, 0}, SliderCase{0, 128},
                                         SliderCase{100, 28}, SliderCase{80, 48}));

TEST(OperatorCommandsTest, PointToggleLeavesArmedRouteAndRefusalAlone)
{
    Module1 m;
    EXPECT_EQ(pointPressed(m, 0), kRequestColour);
    m.PointArmed[0] = kTrue;
    m.PointBlocked[0] = kTrue;
    EXPECT_EQ(pointPressed(m, 0), kFace);
    EXPECT_EQ(m.PointReq[0], 0);
    EXPECT_EQ(m.PointArmed[0], kTrue);
    EXPECT_EQ(m.PointBlocked[0], kTrue);
    m.PointReq[0] = 7; // not a value the buttons know: left as it is
    EXPECT_EQ(pointPressed(m, 0), std::nullopt);
    EXPECT_EQ(m.PointReq[0], 7);
}

TEST(OperatorCommandsTest, ReverseCanOnlyBeWithdrawnBeforeAFrameSawIt)
{
    Module1 m;
    EXPECT_EQ(reversePressed(m, 2), kRequestColour);
    EXPECT_EQ(m.RevState[2], kRevRequested);
    EXPECT_EQ(reversePressed(m, 2), kFace);
    EXPECT_EQ(m.RevState[2], kRevIdle);
    for (const std::int16_t state : {kRevStopping, kRevReady}) {
        m.RevState[2] = state;
        EXPECT_EQ(reversePressed(m, 2), std::nullopt);
        EXPECT_EQ(m.RevState[2], state);
    }
}

TEST(OperatorCommandsTest, ExitWaitsForTheNextFrameOnlyWhileTheCycleRuns)
{
    Module1 m;
    bool pending = false;
    EXPECT_EQ(exitPressed(m, false, pending), ExitAction::EndNow);
    EXPECT_FALSE(pending);
    EXPECT_EQ(m.TrainCmd[0], 0); // nothing is sent when the cycle is stopped
    EXPECT_EQ(exitPressed(m, true, pending), ExitAction::AfterNextFrame);
    EXPECT_TRUE(pending);
    EXPECT_EQ(m.TrainCmd[0], 255);
}

TEST(OperatorCommandsTest, ResetAndRestartSetTheStopAndClearIt)
{
    Module1 m;
    m.InitSent = kTrue;
    stopPressed(m, 1);
    resetPressed(m);
    EXPECT_EQ(m.TrainCmd[0], 255);
    EXPECT_EQ(m.TrainCmd[1], 0);
    restartCycle(m);
    EXPECT_EQ(m.TrainCmd[0], 0);
    EXPECT_EQ(m.InitSent, 0);
}

} // namespace
} // namespace relm
