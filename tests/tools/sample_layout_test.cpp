// Checks the sample layout shipped in examples/layout against what the console expects of it.

#include "layout_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace relm {
namespace {

std::string readFile(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<MapPoint> cornersOf(const MapGeometry &g, int d)
{
    const auto span = polygonPoints(g, d);
    return {span.begin(), span.end()};
}

// Strictly inside by ray casting (points on the outline count as outside here).
bool inside(const std::vector<MapPoint> &poly, double x, double y)
{
    bool in = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const double xi = poly[i].x, yi = poly[i].y, xj = poly[j].x, yj = poly[j].y;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            in = !in;
    }
    return in;
}

// Whether two polygons share a stretch of outline of positive length.
bool shareAnEdge(const std::vector<MapPoint> &a, const std::vector<MapPoint> &b)
{
    const auto cross = [](MapPoint o, MapPoint p, MapPoint q) {
        return static_cast<long long>(p.x - o.x) * (q.y - o.y) -
               static_cast<long long>(p.y - o.y) * (q.x - o.x);
    };
    for (std::size_t i = 0; i < a.size(); ++i) {
        const MapPoint p = a[i], q = a[(i + 1) % a.size()];
        for (std::size_t j = 0; j < b.size(); ++j) {
            const MapPoint r = b[j], s = b[(j + 1) % b.size()];
            if (cross(p, q, r) != 0 || cross(p, q, s) != 0)
                continue;
            // Collinear: overlap of the projections on the longer axis.
            const bool useX = std::abs(q.x - p.x) >= std::abs(q.y - p.y);
            const auto lo = [&](MapPoint m, MapPoint n) {
                return useX ? std::min(m.x, n.x) : std::min(m.y, n.y);
            };
            const auto hi = [&](MapPoint m, MapPoint n) {
                return useX ? std::max(m.x, n.x) : std::max(m.y, n.y);
            };
            if (std::min(hi(p, q), hi(r, s)) > std::max(lo(p, q), lo(r, s)))
                return true;
        }
    }
    return false;
}

class SampleLayoutTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const LayoutParseResult r = parseLayoutText(readFile(RELM_SAMPLE_LAYOUT));
        ASSERT_TRUE(r.errors.empty()) << r.errors[0].line << ": " << r.errors[0].message;
        m_map = r.geometry;
    }
    MapGeometry m_map;
};

TEST_F(SampleLayoutTest, FourRoutesOfEightSectionsInsideTheWindow)
{
    EXPECT_EQ(m_map.MapPolyCount, 32);
    for (int d = 0; d < 32; ++d) {
        SCOPED_TRACE(d);
        const auto corners = cornersOf(m_map, d);
        EXPECT_GE(corners.size(), 4u);
        for (const MapPoint &p : corners) {
            EXPECT_TRUE(p.x >= 0 && p.x < 388 && p.y >= 0 && p.y < 323) << p.x << "," << p.y;
        }
    }
}

TEST_F(SampleLayoutTest, EachLabelBoxLiesInsideItsSection)
{
    for (int d = 0; d < 32; ++d) {
        const auto corners = cornersOf(m_map, d);
        const MapPoint l = m_map.MapLabelPos[static_cast<std::size_t>(d)];
        for (const auto &[dx, dy] : {std::pair{-5, -5}, {10, -5}, {10, 5}, {-5, 5}})
            EXPECT_TRUE(inside(corners, l.x + dx, l.y + dy)) << "polygon " << d;
    }
}

TEST_F(SampleLayoutTest, SectionsFollowEachOtherRoundEveryLoop)
{
    for (int r = 0; r < 4; ++r) {
        for (int s = 0; s < 8; ++s) {
            const auto here = cornersOf(m_map, 8 * r + s);
            for (int k = 1; k < 8; ++k) {
                const int other = 8 * r + (s + k) % 8;
                const bool neighbour = k == 1 || k == 7;
                EXPECT_EQ(shareAnEdge(here, cornersOf(m_map, other)), neighbour)
                    << "sections " << 8 * r + s << " and " << other;
            }
        }
    }
}

TEST_F(SampleLayoutTest, PointConnectionsRunBetweenTouchingSections)
{
    // From route 1 section 0 into route 0 section 0, and from route 0 section 0 into route 1
    // section 1; route 0 section 1 lies beside route 1 section 1 as the passage goes on.
    EXPECT_TRUE(shareAnEdge(cornersOf(m_map, 8), cornersOf(m_map, 0)));
    EXPECT_TRUE(shareAnEdge(cornersOf(m_map, 0), cornersOf(m_map, 9)));
    EXPECT_TRUE(shareAnEdge(cornersOf(m_map, 1), cornersOf(m_map, 9)));
}

} // namespace
} // namespace relm
