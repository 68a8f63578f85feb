#include "map/map_colour.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

constexpr std::int32_t kR = kColourRed, kG = kColourGreen, kB = kColourBlue, kW = kMapBackColour;

// (PosCode0 of X, Y, Z; PosCode1 of X, Y, Z; polygon; its colour)
using ColourCase = std::tuple<Module1::Table4, Module1::Table4, int, std::int32_t>;
using PolygonFillColourTest = testing::TestWithParam<ColourCase>;

TEST_P(PolygonFillColourTest, FirstPlacedTrainNamingTheSectionGivesTheColour)
{
    const auto &[code0, code1, polygon, colour] = GetParam();
    Module1 m;
    setStartColours(m);
    m.PosCode0 = code0;
    m.PosCode1 = code1;
    EXPECT_EQ(polygonFillColour(m, polygon), colour);
}

INSTANTIATE_TEST_SUITE_P(
    Trains, PolygonFillColourTest,
    testing::Values(ColourCase{{0x0A, 128, 128}, {0x0B, 128, 128}, 11, kR},   // section behind
                    ColourCase{{0x12, 128, 0x12}, {0x11, 128, 0x13}, 18, kR}, // X before Z
                    ColourCase{{0x12, 128, 0x12}, {0x11, 128, 0x13}, 19, kB},
                    ColourCase{{128, 0x05, 0x03}, {128, 0x04, 0x04}, 4, kG}, // Y before Z
                    ColourCase{{0x2A, 128, 128}, {0x2B, 128, 128}, 10, kR},  // reverse bit
                    ColourCase{{0, 0, 0}, {0, 0, 0}, 0, kR},                 // before any data
                    ColourCase{{128, 0x05, 128}, {0x05, 0x04, 128}, 5, kG},  // absent X skipped
                    ColourCase{{0x85, 128, 128}, {0x05, 128, 128}, 5, kW},   // so is 133
                    ColourCase{{127, 128, 128}, {0x40, 128, 128}, 31, kR},   // 127 is placed
                    ColourCase{{0x03, 128, 128}, {128, 128, 128}, 0, kR}, // behind: no absent test
                    ColourCase{{0x1F, 128, 128}, {0x1F, 128, 128}, 63, kW}));

} // namespace
} // namespace relm
