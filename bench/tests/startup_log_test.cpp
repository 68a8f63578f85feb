#include "startup_log.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace relm::bench {
namespace {

constexpr const char *kMainFlush =
    "  1180.206 qt.widgets.painting Flushing QRegion(0,0 481x358) of relm::Form1(0x7fffba13bed0)";
constexpr const char *kMapFlush =
    "  1180.185 qt.widgets.painting Flushing QRegion(0,0 388x323) of relm::Form3(0x561abf79cdf0)";

struct LineCase
{
    std::string name;
    std::string line;
    std::string className;
    std::optional<double> expected;
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.name;
}

class FlushSecondsTest : public testing::TestWithParam<LineCase>
{
};

TEST_P(FlushSecondsTest, OnlyTheTopLevelFlushOfTheWindowCounts)
{
    EXPECT_EQ(flushSeconds(GetParam().line, GetParam().className), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FlushSecondsTest,
    testing::Values(
        LineCase{"MainWindow", kMainFlush, "relm::Form1", 1180.206},
        LineCase{"MapWindow", kMapFlush, "relm::Form3", 1180.185},
        LineCase{"OtherWindow", kMapFlush, "relm::Form1", std::nullopt},
        LineCase{"LongerClassName",
                 "1.5 qt.widgets.painting Flushing QRegion(0,0 1x1) of relm::Form10(0x1)",
                 "relm::Form1", std::nullopt},
        LineCase{"ChildWidget",
                 "1.5 qt.widgets.painting Flushing QRegion(0,0 81x25) of QLabel(0x1)",
                 "relm::Form1", std::nullopt},
        // Marked dirty is not yet painted.
        LineCase{"MarkedOnly",
                 "1.5 qt.widgets.painting Marking QRect(0,0 481x358) of relm::Form1(0x1) dirty",
                 "relm::Form1", std::nullopt},
        LineCase{"SummaryLine",
                 "1.5 qt.widgets.painting Flushing top level QRegion(0,0 481x358) and children "
                 "QList()",
                 "relm::Form1", std::nullopt},
        LineCase{"NoTimeStamp", "qt.widgets.painting Flushing QRegion(0,0 1x1) of relm::Form1(0x1)",
                 "relm::Form1", std::nullopt},
        LineCase{"BrokenTimeStamp",
                 "12.x qt.widgets.painting Flushing QRegion(0,0 1x1) of relm::Form1(0x1)",
                 "relm::Form1", std::nullopt}),
    [](const testing::TestParamInfo<LineCase> &p) { return p.param.name; });

TEST(StartupLog, CompleteOnceBothWindowsPaintedAndKeepsTheFirstPaint)
{
    StartupLog log;
    log.observe(kMapFlush);
    EXPECT_FALSE(log.complete());
    log.observe("  1180.300 qt.widgets.painting Flushing QRegion(0,0 388x323) of relm::Form3(0x2)");
    log.observe(kMainFlush);
    ASSERT_TRUE(log.complete());
    EXPECT_DOUBLE_EQ(*log.mapPainted(), 1180.185);
    EXPECT_DOUBLE_EQ(*log.mainPainted(), 1180.206);
}

} // namespace
} // namespace relm::bench
