#include "model/section_code.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

// (code giving route and direction, index, k, expected)
using StepCase = std::tuple<int, int, int, int>;
class StepAheadTest : public testing::TestWithParam<StepCase>
{};

TEST_P(StepAheadTest, KeepsRouteAndDirectionAndWrapsTheIndex)
{
    const auto [direction, index, k, expected] = GetParam();
    EXPECT_EQ(stepAhead(direction, index, k), expected);
}

INSTANTIATE_TEST_SUITE_P(Loops, StepAheadTest,
                         testing::Values(StepCase{0x07, 0x07, 1, 0x00}, // forward wrap 7 -> 0
                                         StepCase{0x28, 0x28, 1, 0x2F}, // reverse wrap 0 -> 7
                                         StepCase{0x29, 0x28, 1, 0x2F}, // index from another code
                                         StepCase{0x18, 0x18, -1, 0x1F}, // behind
                                         StepCase{0x41, 0x41, 1, 0x02}, // bit 6 dropped
                                         StepCase{0xA0, 0xA0, 2, 0x26})); // absent flag dropped

// (another train's code, own code, occupied)
using OccupyCase = std::tuple<int, int, bool>;
class OccupiesTest : public testing::TestWithParam<OccupyCase>
{};

TEST_P(OccupiesTest, ComparesOccupancyKeyWithSectionNumber)
{
    const auto [other, own, occupied] = GetParam();
    EXPECT_EQ(occupies(other, own), occupied);
}

INSTANTIATE_TEST_SUITE_P(Codes, OccupiesTest,
                         testing::Values(OccupyCase{0x22, 0x02, true},  // opposite directions
                                         OccupyCase{0x42, 0x02, true},  // bit 6 masked away
                                         OccupyCase{0x80, 0x00, false}, // absent never occupies
                                         OccupyCase{0x82, 0x02, false}, // nor does 129..255
                                         OccupyCase{0x0A, 0x02, false}));

TEST(OtherTrainsTest, VisitsTheNextTrainFirstAndWraps)
{
    EXPECT_EQ(otherTrains(1), (std::array<int, 2>{2, 0}));
    EXPECT_EQ(otherTrains(2), (std::array<int, 2>{0, 1}));
}

} // namespace
} // namespace relm
