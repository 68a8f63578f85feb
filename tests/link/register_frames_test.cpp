#include "link/register_frames.h"

#include "link_test_support.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using test::Bytes;

struct InitCase
{
    const char *name;
    std::array<std::array<int, 4>, 3> codes; // PosCode0..3 of trains 0..2
    Bytes expected;
};

using InitFrameTest = testing::TestWithParam<InitCase>;

TEST_P(InitFrameTest, SendsEveryPositionRegisterAsOneByteThenFillsThePointTable)
{
    const InitCase &c = GetParam();
    Module1 m;
    for (int t = 0; t < kTrainCount; ++t)
        test::place(m, t, c.codes[t]);
    EXPECT_EQ(IniDataSet(m), c.expected);
    EXPECT_EQ(m.PointTable[0][3].AfterCode, 0x2F);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, InitFrameTest,
    testing::Values(
        InitCase{"AllAbsent",
                 {{{128, 128, 128, 128}, {128, 128, 128, 128}, {128, 128, 128, 128}}},
                 {0xFF, 0x0C, 0x00, 0x80, 0x01, 0x80, 0x02, 0x80, 0x03, 0x80, 0x0E, 0x80, 0x0F,
                  0x80, 0x10, 0x80, 0x11, 0x80, 0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80}},
        InitCase{"PlacedTrains",
                 {{{0x00, 0x07, 0x01, 0x02}, {0x29, 0x2A, 0x28, 0x2F}, {128, 128, 128, 128}}},
                 {0xFF, 0x0C, 0x00, 0x00, 0x01, 0x07, 0x02, 0x01, 0x03, 0x02, 0x0E, 0x29, 0x0F,
                  0x2A, 0x10, 0x28, 0x11, 0x2F, 0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80}},
        // Out-of-range entries go out as their low byte, neither clipped nor masked to a code.
        InitCase{"LowByteOnly",
                 {{{-1, 255, 0x180, 0x1FF}, {0, 0, 0, 0}, {0x40, 0x40, 0x40, 0x40}}},
                 {0xFF, 0x0C, 0x00, 0xFF, 0x01, 0xFF, 0x02, 0x80, 0x03, 0xFF, 0x0E, 0x00, 0x0F,
                  0x00, 0x10, 0x00, 0x11, 0x00, 0x1C, 0x40, 0x1D, 0x40, 0x1E, 0x40, 0x1F, 0x40}}),
    [](const testing::TestParamInfo<InitCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
