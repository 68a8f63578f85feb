#include "model/section_code.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

struct StepCase
{
    int directionCode;
    int index;
    int k;
    int expected;
};

class StepAheadTest : public testing::TestWithParam<StepCase>
{};

TEST_P(StepAheadTest, KeepsRouteAndDirectionAndWrapsTheIndex)
{
    const StepCase c = GetParam();
    EXPECT_EQ(stepAhead(c.directionCode, c.index, c.k), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, StepAheadTest,
    testing::Values(
        // forward wrap 7 -> 0 on routes 0 and 1
        StepCase{0x07, 0x07, 1, 0x00}, StepCase{0x0F, 0x0F, 1, 0x08},
        // reverse wrap 0 -> 7
        StepCase{0x20, 0x20, 1, 0x27}, StepCase{0x28, 0x28, 1, 0x2F},
        // route and direction from one code, index from another
        StepCase{0x08, 0x00, 1, 0x09}, StepCase{0x29, 0x28, 1, 0x2F},
        // behind is a negative step; two places ahead on route 3
        StepCase{0x18, 0x18, -1, 0x1F}, StepCase{0x1E, 0x1E, 2, 0x18},
        StepCase{0x21, 0x21, -1, 0x22},
        // bit 6 and the absent flag never survive a step
        StepCase{0x41, 0x41, 1, 0x02}, StepCase{0x80, 0x80, 1, 0x01},
        StepCase{0xA0, 0xA0, 1, 0x27}, StepCase{0xA0, 0xA0, 2, 0x26}));

struct OccupyCase
{
    int other;
    int own;
    bool occupied;
};

class OccupiesTest : public testing::TestWithParam<OccupyCase>
{};

TEST_P(OccupiesTest, ComparesOccupancyKeyWithSectionNumber)
{
    const OccupyCase c = GetParam();
    EXPECT_EQ(occupies(c.other, c.own), c.occupied);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, OccupiesTest,
    testing::Values(OccupyCase{0x02, 0x02, true},
                    OccupyCase{0x22, 0x02, true}, // opposite directions share the section
                    OccupyCase{0x02, 0x22, true},
                    OccupyCase{0x42, 0x02, true}, // bit 6 is masked away
                    OccupyCase{0x80, 0x00, false}, // absent never occupies
                    OccupyCase{0x82, 0x02, false}, // 129..255 is absent to the comparison
                    OccupyCase{0xFF, 0x1F, false}, OccupyCase{0x0A, 0x02, false},
                    OccupyCase{0x02, 0x82, true})); // the own code's absent bit is masked off

TEST(OtherTrainsTest, VisitsTheNextTrainFirstAndWraps)
{
    EXPECT_EQ(otherTrains(0), (std::array<int, 2>{1, 2}));
    EXPECT_EQ(otherTrains(1), (std::array<int, 2>{2, 0}));
    EXPECT_EQ(otherTrains(2), (std::array<int, 2>{0, 1}));
}

TEST(SectionCodeTest, MasksSplitTheFields)
{
    EXPECT_EQ(sectionNumber(0xEA), 0x0A);
    EXPECT_EQ(occupancyKey(0xEA), 0x8A);
    EXPECT_EQ(codeBase(0xEA), 0x28);
    EXPECT_EQ(placedCode(1, 2, 0), 10);
    EXPECT_EQ(placedCode(0, 5, 1), 37);
}

} // namespace
} // namespace relm
