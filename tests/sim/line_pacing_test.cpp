#include "sim/line_pacing.h"

#include <gtest/gtest.h>

namespace relm::sim {
namespace {

struct LineTimeCase
{
    std::size_t bytes;
    std::int64_t micros;
};

class LineTimeTest : public testing::TestWithParam<LineTimeCase>
{
};

TEST_P(LineTimeTest, TenBitTimesPerByteAt9600)
{
    EXPECT_EQ(lineTime(GetParam().bytes).count(), GetParam().micros);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LineTimeTest,
                         testing::Values(LineTimeCase{0, 0}, LineTimeCase{1, 1042},
                                         LineTimeCase{3, 3125}, LineTimeCase{24, 25'000},
                                         LineTimeCase{50, 52'084}, LineTimeCase{960, 1'000'000},
                                         LineTimeCase{20'000, 20'833'334},
                                         LineTimeCase{960 * 3600, 3'600'000'000}));

TEST(LinePacerTest, BytesLeaveOneAfterAnotherWithoutDrift)
{
    LinePacer line;
    EXPECT_EQ(line.enqueue(Time{0}, 24).count(), 25'000);
    EXPECT_EQ(line.departed(Time{1'041}), 0u);
    EXPECT_EQ(line.departed(Time{1'042}), 1u);
    // Handed over while the first block is still going: it queues behind it.
    EXPECT_EQ(line.enqueue(Time{10'000}, 936).count(), 1'000'000);
    EXPECT_EQ(line.departed(Time{999'999}), 958u);
    EXPECT_EQ(line.departed(Time{1'000'000}), 1u);
    EXPECT_FALSE(line.nextDeparture().has_value());
    EXPECT_EQ(line.waiting(), 0u);
}

TEST(LinePacerTest, QuietLineStartsANewRunWhenBytesAreHandedOver)
{
    LinePacer line;
    line.enqueue(Time{0}, 2);
    // Both bytes have gone by 5 ms, though nobody asked yet; the next block starts at 5 ms.
    EXPECT_EQ(line.enqueue(Time{5'000}, 1).count(), 5'000 + 1'042);
    ASSERT_TRUE(line.nextDeparture().has_value());
    EXPECT_EQ(line.departed(Time{5'000}), 2u);
    EXPECT_EQ(line.departed(Time{6'042}), 1u);
    EXPECT_EQ(line.waiting(), 0u);
}

} // namespace
} // namespace relm::sim
