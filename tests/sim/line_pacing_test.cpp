#include "sim/line_pacing.h"

#include <gtest/gtest.h>

namespace relm::sim {
namespace {

TEST(LinePacingTest, TenBitTimesPerByteAt9600RoundedUp)
{
    const std::vector<std::pair<std::size_t, std::int64_t>> cases{
        {0, 0}, {1, 1042}, {24, 25'000}, {20'000, 20'833'334}, {960 * 3600, 3'600'000'000}};
    for (const auto &[bytes, micros] : cases)
        EXPECT_EQ(lineTime(bytes).count(), micros) << bytes << " bytes";
}

TEST(LinePacingTest, BytesLeaveOneAfterAnotherWithoutDriftAndANewRunStartsOnAQuietLine)
{
    LinePacer line;
    EXPECT_EQ(line.enqueue(Time{0}, 24).count(), 25'000);
    EXPECT_EQ(line.departed(Time{1'041}), 0u);
    EXPECT_EQ(line.departed(Time{1'042}), 1u);
    // Handed over while the first block is still going: it queues behind it.
    EXPECT_EQ(line.enqueue(Time{10'000}, 936).count(), 1'000'000);
    EXPECT_EQ(line.departed(Time{999'999}), 958u);
    // All have gone by 2 s, though nobody asked yet; the next block starts when handed over.
    EXPECT_EQ(line.enqueue(Time{2'000'000}, 1).count(), 2'001'042);
    EXPECT_EQ(line.departed(Time{2'000'000}), 1u);
    EXPECT_EQ(line.departed(Time{2'001'042}), 1u);
    EXPECT_FALSE(line.nextDeparture().has_value());
    EXPECT_EQ(line.waiting(), 0u);
}

} // namespace
} // namespace relm::sim
