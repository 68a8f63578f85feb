#include "model/module1.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(Module1Test, EverythingStartsAtZero)
{
    const Module1 m;
    for (const auto *table : {&m.PosCode0, &m.PosCode3, &m.RevCode3, &m.TargetSpeed, &m.OutSpeed,
                              &m.SliderSpeed, &m.TrainCmd, &m.PointArmed, &m.PointBlocked}) {
        for (const auto v : *table)
            EXPECT_EQ(v, 0);
    }
    EXPECT_EQ(m.InitSent, 0);
    EXPECT_EQ(m.MapBackColour, 0);
    for (const auto &point : m.PointTable) {
        for (const auto &r : point) {
            EXPECT_EQ(r.FromCode, 0);
            EXPECT_EQ(r.AfterCode, 0);
        }
    }
}

TEST(Module1Test, PointTableFillSetsPointZeroEntriesZeroToThreeOnly)
{
    Module1 m;
    m.PointTable[3][1] = {5, 6, 7}; // filled again on every initialisation frame; others untouched
    fillPointTable(m);
    const auto &p = m.PointTable[0];
    const std::array<std::array<int, 3>, 4> expected{
        {{8, 0, 1}, {0, 9, 10}, {0x29, 0x20, 0x27}, {0x20, 0x28, 0x2F}}};
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(p[e].FromCode, expected[e][0]) << e;
        EXPECT_EQ(p[e].NextCode, expected[e][1]) << e;
        EXPECT_EQ(p[e].AfterCode, expected[e][2]) << e;
    }
    EXPECT_EQ(p[4].FromCode, 0);
    EXPECT_EQ(m.PointTable[1][0].NextCode, 0);
    EXPECT_EQ(m.PointTable[3][1].NextCode, 6);
}

TEST(Module1Test, StartColours)
{
    Module1 m;
    setStartColours(m);
    EXPECT_EQ(m.TrainColour[0], 0x0000FF);
    EXPECT_EQ(m.TrainColour[1], 0x00FF00);
    EXPECT_EQ(m.TrainColour[2], 0xFF0000);
    EXPECT_EQ(m.MapBackColour, 0xFFFFC0);
}

} // namespace
} // namespace relm
