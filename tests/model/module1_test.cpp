#include "model/module1.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(Module1Test, PointTableFillSetsPointZeroEntriesZeroToThreeOnly)
{
    Module1 m;
    fillPointTable(m);
    const std::array<std::array<int, 3>, 5> expected{
        {{8, 0, 1}, {0, 9, 10}, {0x29, 0x20, 0x27}, {0x20, 0x28, 0x2F}, {0, 0, 0}}};
    for (int e = 0; e < 5; ++e) {
        const PointRecord &r = m.PointTable[0][e];
        EXPECT_EQ((std::array<int, 3>{r.FromCode, r.NextCode, r.AfterCode}), expected[e]) << e;
    }
    EXPECT_EQ(m.PointTable[1][0].NextCode, 0);
}

} // namespace
} // namespace relm
