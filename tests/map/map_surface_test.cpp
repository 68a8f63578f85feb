#include "map/map_surface.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <array>

namespace relm {
namespace {

const QColor kBackground(200, 200, 200);

MapSurface makeSurface(qreal ratio = 1.0)
{
    return MapSurface(QSize(100, 80), ratio, kBackground, Qt::black, QApplication::font());
}

enum class Victim { Selected, Stock, Unknown, DeletedTwice, Unselected };

struct DeleteCase
{
    const char *name;
    Victim victim;
    bool deleted;
    int liveAfter;
};

class MapSurfaceDeleteTest : public testing::TestWithParam<DeleteCase>
{
};

TEST_P(MapSurfaceDeleteTest, OnlyUnselectedLiveBrushesGo)
{
    const DeleteCase c = GetParam();
    MapSurface s = makeSurface();
    const auto selected = s.createSolidBrush(0x0000FF);
    const auto other = s.createSolidBrush(0x00FF00);
    ASSERT_EQ(s.selectObject(selected), s.stockBrush());
    const std::array<MapSurface::Handle, 5> victims{selected, s.stockBrush(), 4242, other, other};
    if (c.victim == Victim::DeletedTwice) {
        ASSERT_TRUE(s.deleteObject(other));
    }
    EXPECT_EQ(s.deleteObject(victims[static_cast<std::size_t>(c.victim)]), c.deleted);
    EXPECT_EQ(s.liveBrushCount(), c.liveAfter);
    // Selecting something that is not a live brush changes nothing.
    EXPECT_EQ(s.selectObject(4242), MapSurface::kNoObject);
    EXPECT_EQ(s.selectedObject(), selected);
}

INSTANTIATE_TEST_SUITE_P(Cases, MapSurfaceDeleteTest,
                         testing::Values(DeleteCase{"Selected", Victim::Selected, false, 2},
                                         DeleteCase{"Stock", Victim::Stock, false, 2},
                                         DeleteCase{"Unknown", Victim::Unknown, false, 2},
                                         DeleteCase{"DeletedTwice", Victim::DeletedTwice, false, 1},
                                         DeleteCase{"Unselected", Victim::Unselected, true, 1}),
                         [](const testing::TestParamInfo<DeleteCase> &p) {
                             return std::string(p.param.name);
                         });

TEST(MapSurfaceTest, PolygonFillsWithTheSelectedBrushAndOutlinesInBlack)
{
    for (const qreal ratio : {1.0, 2.0}) {
        MapSurface s = makeSurface(ratio);
        s.selectObject(s.createSolidBrush(0x0000FF)); // red in 0x00BBGGRR
        const std::array<QPoint, 4> square{QPoint(10, 10), QPoint(40, 10), QPoint(40, 40),
                                           QPoint(10, 40)};
        s.polygon(square);
        EXPECT_EQ(s.pixel({25, 25}), QColor(255, 0, 0)) << ratio;
        EXPECT_EQ(s.pixel({10, 25}), QColor(Qt::black)) << ratio;
        EXPECT_EQ(s.pixel({25, 42}), kBackground) << ratio;
    }
}

TEST(MapSurfaceTest, TextHasNoBackgroundOfItsOwn)
{
    MapSurface s = makeSurface();
    s.selectObject(s.createSolidBrush(0xFF0000)); // blue
    const std::array<QPoint, 4> area{QPoint(0, 0), QPoint(99, 0), QPoint(99, 79), QPoint(0, 79)};
    s.polygon(area);
    const QImage before = s.image();
    s.textOut({10, 10}, QStringLiteral(" 88"));

    // Black text on blue: every changed pixel is a blend of the two, never a background colour.
    int textPixels = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 100; ++x) {
            const QColor now = s.pixel({x, y});
            if (now == before.pixelColor(x, y))
                continue;
            ++textPixels;
            EXPECT_TRUE(now.red() == 0 && now.green() == 0) << x << "," << y;
        }
    }
    EXPECT_GT(textPixels, 0);
}

} // namespace
} // namespace relm
