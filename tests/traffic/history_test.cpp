#include "traffic/history.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace relm {
namespace {

struct RingCase
{
    std::size_t capacity;
    int appended;
    std::vector<std::string> kept;
};

class TrafficHistoryTest : public testing::TestWithParam<RingCase>
{
};

TEST_P(TrafficHistoryTest, KeepsTheNewestLinesOldestFirst)
{
    const RingCase &c = GetParam();
    TrafficHistory history(c.capacity);
    for (int i = 1; i <= c.appended; ++i)
        history.append("line " + std::to_string(i));
    EXPECT_EQ(history.lines(), c.kept);
    EXPECT_EQ(history.size(), c.kept.size());
    EXPECT_EQ(history.appended(), static_cast<std::uint64_t>(c.appended));
    EXPECT_THROW(static_cast<void>(history.at(history.size())), std::out_of_range);
}

INSTANTIATE_TEST_SUITE_P(
    Rings, TrafficHistoryTest,
    testing::Values(RingCase{3, 0, {}}, RingCase{3, 2, {"line 1", "line 2"}},
                    RingCase{3, 3, {"line 1", "line 2", "line 3"}},
                    RingCase{3, 4, {"line 2", "line 3", "line 4"}},
                    RingCase{3, 8, {"line 6", "line 7", "line 8"}},
                    RingCase{0, 2, {"line 2"}})); // no capacity is taken as one line

TEST(TrafficHistoryTest, HoldsAtLeastFiveThousandLinesByDefault)
{
    TrafficHistory history;
    for (int i = 0; i < 5001; ++i)
        history.append(std::to_string(i));
    EXPECT_EQ(history.size(), 5000u);
    EXPECT_EQ(history.at(0), "1");
    EXPECT_EQ(history.at(4999), "5000");
}

TEST(TrafficHistoryTest, ClearStartsAfresh)
{
    TrafficHistory history(2);
    history.append("a");
    history.append("b");
    history.append("c");
    history.clear();
    history.append("d");
    EXPECT_EQ(history.lines(), std::vector<std::string>{"d"});
    EXPECT_EQ(history.appended(), 1u);
}

} // namespace
} // namespace relm
