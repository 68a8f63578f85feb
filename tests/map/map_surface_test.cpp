#include "map/map_surface.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(MapSurfaceTest, PolygonIsFilledWithTheSelectedBrushAndOutlinedInBlackAtAnyPixelRatio)
{
    for (const qreal ratio : {1.0, 2.0}) {
        MapSurface s(QSize(100, 80), ratio, Qt::gray, Qt::black, QApplication::font());
        EXPECT_EQ(s.selectObject(s.createSolidBrush(0x0000FF)), s.stockBrush());
        const std::array<QPoint, 4> square{{{10, 10}, {40, 10}, {40, 40}, {10, 40}}};
        s.polygon(square);
        EXPECT_EQ(s.pixel({25, 25}), QColor(Qt::red)) << ratio; // 0x0000FF is red
        EXPECT_EQ(s.pixel({10, 25}), QColor(Qt::black)) << ratio;
        EXPECT_EQ(s.pixel({25, 42}), QColor(Qt::gray)) << ratio;
    }
}

} // namespace
} // namespace relm
