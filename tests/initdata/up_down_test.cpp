#include "widgets/up_down.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace relm {
namespace {

struct StepCase
{
    const char *name;
    int maximum;
    bool wrap;
    int start;
    std::function<void(UpDown &)> act;
    int expected;
    int emitted; // valueChanged emissions caused by act
};

class UpDownStepTest : public testing::TestWithParam<StepCase>
{
};

TEST_P(UpDownStepTest, StaysInRangeAndLabelShowsTheValue)
{
    const StepCase &c = GetParam();
    QLabel label;
    UpDown upDown;
    upDown.resize(16, 25);
    upDown.setRange(0, c.maximum);
    upDown.setWrapping(c.wrap);
    upDown.setBuddy(&label);
    upDown.setValue(c.start);
    QSignalSpy spy(&upDown, &UpDown::valueChanged);

    c.act(upDown);

    EXPECT_EQ(upDown.value(), c.expected);
    EXPECT_EQ(label.text(), QString::number(c.expected));
    EXPECT_EQ(spy.count(), c.emitted);
}

void clickUp(UpDown &u, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(u.upButton(), Qt::LeftButton);
}
void clickDown(UpDown &u, int times)
{
    for (int i = 0; i < times; ++i)
        QTest::mouseClick(u.downButton(), Qt::LeftButton);
}

INSTANTIATE_TEST_SUITE_P(
    Spinners, UpDownStepTest,
    testing::Values(
        StepCase{"RouteClickedPastTop", 3, false, 1, [](UpDown &u) { clickUp(u, 10); }, 3, 2},
        StepCase{"SectionClickedPastBottom", 7, false, 2, [](UpDown &u) { clickDown(u, 10); }, 0,
                 2},
        StepCase{"SectionUpAndDown", 7, false, 0,
                 [](UpDown &u) {
                     clickUp(u, 5);
                     clickDown(u, 2);
                 },
                 3, 7},
        StepCase{"KeysStopAtTheEnds", 3, false, 3,
                 [](UpDown &u) {
                     QTest::keyClick(&u, Qt::Key_Up);
                     QTest::keyClick(&u, Qt::Key_Down);
                 },
                 2, 1},
        StepCase{"SetValueAboveIsClamped", 7, false, 4, [](UpDown &u) { u.setValue(99); }, 7, 1},
        StepCase{"SetValueBelowIsClamped", 3, false, 2, [](UpDown &u) { u.setValue(-4); }, 0, 1},
        StepCase{"SameValueIsNoChange", 3, false, 2, [](UpDown &u) { u.setValue(2); }, 2, 0},
        StepCase{"NarrowerRangePullsValueIn", 7, false, 6, [](UpDown &u) { u.setRange(0, 3); }, 3,
                 1},
        StepCase{"WrapsWhenAsked", 7, true, 7, [](UpDown &u) { clickUp(u, 1); }, 0, 1},
        StepCase{"WrapsDownWhenAsked", 3, true, 0, [](UpDown &u) { u.stepDown(); }, 3, 1}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(UpDownTest, BuddyBoundLaterShowsTheCurrentValueAndAnUnboundLabelIsLeftAlone)
{
    QLabel first;
    QLabel second;
    UpDown upDown;
    upDown.setRange(0, 7);
    upDown.setValue(5);
    upDown.setBuddy(&first);
    EXPECT_EQ(first.text(), QStringLiteral("5"));
    upDown.setBuddy(&second);
    upDown.stepUp();
    EXPECT_EQ(second.text(), QStringLiteral("6"));
    EXPECT_EQ(first.text(), QStringLiteral("5"));
}

TEST(UpDownTest, BuddyDestroyedFirstIsForgotten)
{
    UpDown upDown;
    {
        QLabel label;
        upDown.setBuddy(&label);
    }
    EXPECT_EQ(upDown.buddy(), nullptr);
    upDown.stepUp(); // must not touch the destroyed label
    EXPECT_EQ(upDown.value(), 1);
}

} // namespace
} // namespace relm
