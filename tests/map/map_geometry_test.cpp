#include "map/map_geometry.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MapGeometryTest, TablesSitAtTheirOffsetsLittleEndianAndAShortFileReadsZerosPastItsEnd)
{
    MapGeometry g;
    g.MapPoints[7 * 11 + 10] = {0x01020304, -2}; // polygon 7, point 10
    g.MapPoints[100 * 11 + 10].y = 5;            // last point of the spare slot
    g.MapPointCount[0] = 0x0304;
    g.MapPointCount[99] = 0x0102;
    g.MapPointCount[100] = g.MapPolyCount = -3;
    g.MapLabelPos[100].y = 0x7F000001;
    Bytes b = serializeMapGeometry(g);
    ASSERT_EQ(b.size(), 9898u);
    const auto at = [&](std::size_t offset, std::size_t n) {
        return Bytes(b.begin() + offset, b.begin() + offset + n);
    };
    EXPECT_EQ(at(88 * 7 + 80, 8), (Bytes{4, 3, 2, 1, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(at(8884, 6), (Bytes{5, 0, 0, 0, 4, 3}));
    EXPECT_EQ(at(9086, 4), (Bytes{2, 1, 0xFD, 0xFF}));
    EXPECT_EQ(at(9894, 4), (Bytes{1, 0, 0, 0x7F}));
    const MapGeometry cut = parseMapGeometry(Bytes(b.begin(), b.begin() + 8889));
    EXPECT_EQ(cut.MapPoints, g.MapPoints);
    EXPECT_EQ(cut.MapPointCount[0], 4); // the one byte it has
    EXPECT_EQ(cut.MapPointCount[99] | cut.MapPolyCount | cut.MapLabelPos[100].y, 0);
    b.push_back(0xAB); // bytes past the end are ignored
    EXPECT_EQ(parseMapGeometry(b), g);
}

// (N and every point count as stored, polygon, points drawn, polygons drawn)
using LimitCase = std::tuple<std::int16_t, int, std::size_t, int>;
using MapLimitTest = testing::TestWithParam<LimitCase>;

TEST_P(MapLimitTest, NothingIsDrawnFromOutsideTheTables)
{
    const auto &[stored, polygon, points, polygons] = GetParam();
    MapGeometry g;
    g.MapPointCount.fill(stored);
    g.MapPolyCount = stored;
    for (std::size_t i = 0; i < g.MapPoints.size(); ++i)
        g.MapPoints[i].x = static_cast<std::int32_t>(i);
    const auto drawn = polygonPoints(g, polygon);
    ASSERT_EQ(drawn.size(), points);
    EXPECT_TRUE(drawn.empty() || drawn.front().x == polygon * 11); // from its own slot
    EXPECT_EQ(drawnPolygonCount(g), polygons);
}

INSTANTIATE_TEST_SUITE_P(Limits, MapLimitTest,
                         testing::Values(LimitCase{4, 3, 4, 4}, LimitCase{11, 99, 11, 11},
                                         LimitCase{101, 99, 11, 100}, LimitCase{-3, 5, 0, 0},
                                         LimitCase{4, 100, 0, 4}, LimitCase{4, -1, 0, 4}));

} // namespace
} // namespace relm
