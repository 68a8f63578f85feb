#include "widgets/up_down.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(UpDownTest, KeysAndSetValueStayInRangeAndTheLabelFollowsUntilItIsGone)
{
    auto label = std::make_unique<QLabel>();
    UpDown upDown;
    upDown.setRange(0, 3);
    upDown.setBuddy(label.get());
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&upDown, Qt::Key_Up);
    EXPECT_EQ(label->text(), QStringLiteral("3"));
    upDown.setValue(-4);
    QTest::keyClick(&upDown, Qt::Key_Down);
    EXPECT_EQ(label->text(), QStringLiteral("0"));

    label.reset(); // the spinner must forget it rather than write to it
    upDown.setValue(99);
    EXPECT_EQ(upDown.value(), 3);
}

} // namespace
} // namespace relm
