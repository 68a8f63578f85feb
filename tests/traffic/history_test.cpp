#include "traffic/history.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace relm {
namespace {

using Lines = std::vector<std::string>;

// The newest lines oldest first across wraps of the ring; no capacity is taken as one line.
// Clearing starts afresh wherever the ring stood.
TEST(TrafficHistoryTest, KeepsTheNewestLinesOldestFirst)
{
    TrafficHistory history(3), single(0);
    for (const char *line : {"a", "b", "c", "d", "e", "f", "g"}) {
        history.append(line);
        single.append(line);
    }
    EXPECT_EQ(history.lines(), (Lines{"e", "f", "g"}));
    EXPECT_EQ(single.lines(), Lines{"g"});
    EXPECT_EQ(history.appended(), 7u);
    EXPECT_THROW(static_cast<void>(history.at(3)), std::out_of_range);
    history.clear();
    history.append("x");
    EXPECT_EQ(history.lines(), Lines{"x"});
    EXPECT_EQ(history.appended(), 1u);
}

} // namespace
} // namespace relm
