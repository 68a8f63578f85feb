// The mDNS advertisement where no Avahi daemon runs (as on CI's machines): said once, with what
// the operator can do instead, and nothing else happens.

#include "withrottle/mdns_advert.h"

#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace relm {
namespace {

TEST(MdnsAdvertTest, SaysOnceWhenNoDaemonRunsAndTellsWhatToTypeInstead)
{
    std::vector<QString> reports;
    {
        MdnsAdvert advert(QStringLiteral("RELM"), 12090,
                          [&reports](const QString &text) { reports.push_back(text); });
        if (advert.running())
            GTEST_SKIP() << "an Avahi daemon runs on this machine";
        QTest::qWait(100);
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains(u"Avahi")) << reports[0].toStdString();
    EXPECT_TRUE(reports[0].contains(u"12090")) << reports[0].toStdString();
}

} // namespace
} // namespace relm
