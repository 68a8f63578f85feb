#include "map/map_geometry.h"

#include <gtest/gtest.h>

#include <random>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto &x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// Where an entry sits in the file, written from the layout by hand, and how to read it back.
struct OffsetCase
{
    const char *name;
    std::size_t offset;
    std::int64_t (*read)(const MapGeometry &);
    bool twoBytes; // a 16-bit count rather than a 32-bit coordinate
};

class MapOffsetTest : public testing::TestWithParam<OffsetCase>
{
};

TEST_P(MapOffsetTest, EntryComesFromItsOwnBytesLittleEndian)
{
    const OffsetCase c = GetParam();
    Bytes bytes(kMapFileSize, 0);
    const std::array<std::uint8_t, 4> value{0x03, 0x02, 0x01, 0x80};
    std::copy_n(value.begin(), c.twoBytes ? 2 : 4, bytes.begin() + static_cast<long>(c.offset));
    const std::int64_t expected = c.twoBytes ? 0x0203 : std::int32_t(0x80010203u - 0x100000000ll);
    EXPECT_EQ(c.read(parseMapGeometry(bytes)), expected);
    EXPECT_EQ(serializeMapGeometry(parseMapGeometry(bytes)), bytes);
}

std::int64_t pointX(const MapGeometry &g, int polygon, int k)
{
    return g.MapPoints[static_cast<std::size_t>(polygon * 11 + k)].x;
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, MapOffsetTest,
    testing::Values(
        OffsetCase{"FirstX", 0, [](const MapGeometry &g) { return pointX(g, 0, 0); }, false},
        OffsetCase{"FirstY", 4,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapPoints[0].y; }, false},
        OffsetCase{"Polygon1", 88, [](const MapGeometry &g) { return pointX(g, 1, 0); }, false},
        OffsetCase{"Polygon7Point10", 88 * 7 + 80,
                   [](const MapGeometry &g) { return pointX(g, 7, 10); }, false},
        OffsetCase{"SpareSlotLast", 8880, [](const MapGeometry &g) { return pointX(g, 100, 10); },
                   false},
        OffsetCase{"Count0", 8888,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapPointCount[0]; }, true},
        OffsetCase{"Count99", 9086,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapPointCount[99]; }, true},
        OffsetCase{"PolyCountN", 9088,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapPolyCount; }, true},
        OffsetCase{"Label0", 9090,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapLabelPos[0].x; }, false},
        OffsetCase{"LastLabelY", 9894,
                   [](const MapGeometry &g) -> std::int64_t { return g.MapLabelPos[100].y; },
                   false}),
    [](const testing::TestParamInfo<OffsetCase> &p) { return std::string(p.param.name); });

TEST(MapGeometryTest, ShortInputLeavesUnreachedBytesZero)
{
    const Bytes full = randomBytes(kMapFileSize, 7);
    // Cut just after the low byte of count 0: that entry keeps its low byte, later ones are 0.
    const MapGeometry g = parseMapGeometry(Bytes(full.begin(), full.begin() + 8889));
    EXPECT_EQ(g.MapPoints, parseMapGeometry(full).MapPoints);
    EXPECT_EQ(g.MapPointCount[0], full[8888]);
    EXPECT_EQ(g.MapPointCount[1], 0);
    EXPECT_EQ(g.MapPolyCount, 0);
    EXPECT_EQ(g.MapLabelPos[100], MapPoint{});
}

TEST(MapGeometryTest, AnyFileSurvivesParseAndSerializeUnchanged)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const Bytes bytes = randomBytes(kMapFileSize, seed);
        EXPECT_EQ(serializeMapGeometry(parseMapGeometry(bytes)), bytes) << "seed " << seed;
        Bytes longer = bytes;
        longer.resize(kMapFileSize + 10, 0xAB); // bytes past the end are ignored
        EXPECT_EQ(parseMapGeometry(longer), parseMapGeometry(bytes));
    }
}

struct PointsCase
{
    const char *name;
    int polygon;
    std::int16_t count;
    std::size_t expected;
};

class PolygonPointsTest : public testing::TestWithParam<PointsCase>
{
};

TEST_P(PolygonPointsTest, NeverReachesPastItsSlot)
{
    const PointsCase c = GetParam();
    MapGeometry g;
    for (std::size_t i = 0; i < g.MapPoints.size(); ++i)
        g.MapPoints[i] = {static_cast<std::int32_t>(i), 0};
    if (c.polygon >= 0)
        g.MapPointCount[static_cast<std::size_t>(c.polygon)] = c.count;
    const auto points = polygonPoints(g, c.polygon);
    ASSERT_EQ(points.size(), c.expected);
    for (std::size_t k = 0; k < points.size(); ++k)
        EXPECT_EQ(points[k].x, c.polygon * 11 + static_cast<int>(k));
}

INSTANTIATE_TEST_SUITE_P(
    Counts, PolygonPointsTest,
    testing::Values(PointsCase{"Empty", 3, 0, 0}, PointsCase{"Quad", 3, 4, 4},
                    PointsCase{"FullSlot", 99, 11, 11}, PointsCase{"Forty", 99, 40, 11},
                    PointsCase{"Negative", 5, -3, 0}, PointsCase{"SpareSlot", 100, 4, 0},
                    PointsCase{"NegativePolygon", -1, 4, 0}),
    [](const testing::TestParamInfo<PointsCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
