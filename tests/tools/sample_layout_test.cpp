// Checks the sample layout shipped in examples/layout against what the map window needs of it.

#include "layout_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace relm {
namespace {

TEST(SampleLayoutTest, FourLoopsOfEightSectionsInTheWindowEachWithItsNumberOnIt)
{
    std::ifstream in(RELM_SAMPLE_LAYOUT);
    const LayoutParseResult r = parseLayoutText(std::string(std::istreambuf_iterator(in), {}));
    ASSERT_TRUE(r.errors.empty()) << r.errors[0].line << ": " << r.errors[0].message;
    const MapGeometry &g = r.geometry;
    EXPECT_EQ(g.MapPolyCount, 32);
    for (int d = 0; d < 32; ++d) {
        const auto corners = polygonPoints(g, d);
        ASSERT_GE(corners.size(), 4u) << d;
        const auto [left, right] = std::ranges::minmax(corners, {}, &MapPoint::x);
        const auto [top, bottom] = std::ranges::minmax(corners, {}, &MapPoint::y);
        EXPECT_TRUE(left.x >= 0 && right.x < 388 && top.y >= 0 && bottom.y < 323) << d;
        const MapPoint l = g.MapLabelPos[static_cast<std::size_t>(d)]; // box l-5 .. l+10
        EXPECT_TRUE(l.x - 5 > left.x && l.x + 10 < right.x && l.y - 5 > top.y && l.y + 5 < bottom.y)
            << "label of " << d;
        // The next section round the loop shares a side with it: two corners.
        const auto next = polygonPoints(g, d / 8 * 8 + (d + 1) % 8);
        const auto shared = [&](MapPoint p) { return std::ranges::count(next, p) > 0; };
        EXPECT_EQ(std::ranges::count_if(corners, shared), 2) << d;
    }
}

} // namespace
} // namespace relm
