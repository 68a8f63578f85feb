#include "map/map_colour.h"

#include "model/section_code.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

constexpr std::int32_t kBack = kMapBackColour;
constexpr std::int16_t kOut = kAbsentCode;

struct ColourCase
{
    const char *name;
    std::array<std::array<std::int16_t, 2>, 3> codes; // PosCode0, PosCode1 of X, Y, Z
    int polygon;
    std::int32_t expected;
};

class PolygonFillColourTest : public testing::TestWithParam<ColourCase>
{
};

TEST_P(PolygonFillColourTest, TrainInTheSectionGivesTheColour)
{
    const ColourCase c = GetParam();
    Module1 m;
    setStartColours(m);
    for (std::size_t t = 0; t < 3; ++t) {
        m.PosCode0[t] = c.codes[t][0];
        m.PosCode1[t] = c.codes[t][1];
    }
    EXPECT_EQ(polygonFillColour(m, c.polygon), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PolygonFillColourTest,
    testing::Values(
        ColourCase{"OwnSection", {{{0x0A, 0x0B}, {kOut, kOut}, {kOut, kOut}}}, 10, kColourRed},
        ColourCase{"SectionBehind", {{{0x0A, 0x0B}, {kOut, kOut}, {kOut, kOut}}}, 11, kColourRed},
        ColourCase{"OtherSectionFree", {{{0x0A, 0x0B}, {kOut, kOut}, {kOut, kOut}}}, 12, kBack},
        ColourCase{"XBeforeZ", {{{0x12, 0x11}, {kOut, kOut}, {0x12, 0x13}}}, 18, kColourRed},
        ColourCase{"ZWhereXIsNot", {{{0x12, 0x11}, {kOut, kOut}, {0x12, 0x13}}}, 19, kColourBlue},
        ColourCase{
            "YBeforeZOnBehind", {{{kOut, kOut}, {0x05, 0x04}, {0x03, 0x04}}}, 4, kColourGreen},
        ColourCase{
            "ReverseBitIgnored", {{{0x2A, 0x2B}, {kOut, kOut}, {kOut, kOut}}}, 10, kColourRed},
        ColourCase{"Bit6Ignored", {{{kOut, kOut}, {0x5F, 0x5E}, {kOut, kOut}}}, 31, kColourGreen},
        ColourCase{"AllZeroMeansAllInSectionZero", {{{0, 0}, {0, 0}, {0, 0}}}, 0, kColourRed},
        ColourCase{"AllZeroLeavesOthersFree", {{{0, 0}, {0, 0}, {0, 0}}}, 1, kBack},
        ColourCase{
            "AbsentTrainSkipped", {{{kOut, 0x05}, {0x05, 0x04}, {kOut, kOut}}}, 5, kColourGreen},
        ColourCase{
            "HighCodeCountsAsAbsent", {{{0x85, 0x05}, {kOut, kOut}, {kOut, kOut}}}, 5, kBack},
        ColourCase{
            "JustBelowAbsentIsPlaced", {{{127, 0x40}, {kOut, kOut}, {kOut, kOut}}}, 31, kColourRed},
        // PosCode1 carries no absent test: 128 names section 0 for a placed train.
        ColourCase{"BehindCodeNotTestedForAbsence",
                   {{{0x03, kOut}, {kOut, kOut}, {kOut, kOut}}},
                   0,
                   kColourRed},
        ColourCase{
            "PolygonAbove31NeverMatches", {{{0x00, 0x00}, {kOut, kOut}, {kOut, kOut}}}, 32, kBack},
        ColourCase{
            "Polygon63NotSection31", {{{0x1F, 0x1F}, {kOut, kOut}, {kOut, kOut}}}, 63, kBack}),
    [](const testing::TestParamInfo<ColourCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
