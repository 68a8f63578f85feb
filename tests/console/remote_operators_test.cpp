// The dead-man rule's bookkeeping in the console: which remote operator answers for a train, for
// every kind of remote operator alike (panel pages, throttle connections).

#include "console/console.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

class RemoteOperatorsTest : public testing::Test
{
protected:
    Module1 module;
    Console console{module, QStringLiteral("/dev/null-no-controller")};
};

TEST_F(RemoteOperatorsTest, OnlyTheLastToSetATrainMovingAnswersForIt)
{
    const Console::OperatorId a = console.newRemoteOperator();
    const Console::OperatorId b = console.newRemoteOperator();
    ASSERT_NE(a, b);
    ASSERT_NE(a, Console::kDesk);

    console.requestSpeed(0, 50, a);
    console.requestSpeed(0, 50, b); // the same speed from another operator: b answers now
    console.requestSpeed(1, 30, a);
    console.moveSlider(1, 100); // the desk takes Y over
    console.requestSpeed(2, 40, a);
    console.requestSpeed(2, 0, a); // a stopped Z itself

    EXPECT_TRUE(console.remoteOperatorGone(a).empty());
    EXPECT_EQ(module.SliderSpeed[0], 50);
    EXPECT_EQ(module.SliderSpeed[1], 28);

    EXPECT_EQ(console.remoteOperatorGone(b), std::vector<int>{0});
    EXPECT_EQ(module.SliderSpeed[0], 0);
    EXPECT_EQ(console.train(0).sliderPosition, kSliderMaximum);
    EXPECT_EQ(console.mover(0), std::nullopt);
    EXPECT_TRUE(console.remoteOperatorGone(b).empty()) << "stopped once, not again";
}

TEST_F(RemoteOperatorsTest, AStopFromAnyoneEndsTheClaimAndTheDeskNeverAnswers)
{
    const Console::OperatorId a = console.newRemoteOperator();
    console.requestSpeed(0, 60, a);
    console.requestSpeed(1, 60, a);
    console.stop(0);
    console.requestSpeed(1, 70); // the desk sets Y again
    EXPECT_TRUE(console.remoteOperatorGone(a).empty());

    console.requestSpeed(2, 20);
    EXPECT_EQ(console.mover(2), std::nullopt);
    EXPECT_TRUE(console.remoteOperatorGone(Console::kDesk).empty());
    EXPECT_EQ(module.SliderSpeed[2], 20);
}

} // namespace
} // namespace relm
