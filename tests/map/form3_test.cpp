#include "map/form3.h"

#include "map/map_file.h"
#include "widgets/ui_units.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace relm {
namespace {

// Squares of 48 x 64 pixels, eight to a row, each labelled near its top-left corner.
MapGeometry grid(int polygons, std::int16_t n)
{
    MapGeometry g;
    g.MapPointCount[100] = g.MapPolyCount = n;
    for (int d = 0; d < polygons; ++d) {
        const int x = d % 8 * 48 + 1, y = d / 8 * 64 + 1;
        const std::array<MapPoint, 4> square{{{x, y}, {x + 45, y}, {x + 45, y + 61}, {x, y + 61}}};
        std::copy(square.begin(), square.end(), g.MapPoints.begin() + 11 * d);
        g.MapPointCount[d] = 4;
        g.MapLabelPos[d] = {x + 9, y + 9};
    }
    return g;
}

// Inside square d, away from its outline and label; with the label, its box's top-left corner.
QPoint inside(int d, bool label = false)
{
    return QPoint(d % 8 * 48, d / 8 * 64) + (label ? QPoint(5, 5) : QPoint(24, 50));
}

// Each test runs in a folder of its own, as the console runs in the layout folder. Train X is
// in section 10 with 11 behind it; Y and Z are off the layout.
class Form3Test : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        setStartColours(m_module);
        m_module.PosCode0 = {0x0A, 128, 128, 0};
        m_module.PosCode1 = {0x0B, 128, 128, 0};
        m_form.setFailureReporter([this](const QString &f, const QString &) { m_reports << f; });
    }
    void TearDown() override { QDir::setCurrent(m_home); }

    MapSurface &dc() { return m_form.surface(); }
    QColor activatedWith(const MapGeometry &g, QPoint at)
    {
        EXPECT_EQ(saveMapFile(kMapFileName, g), "");
        m_form.activate();
        return m_form.surface().pixel(at);
    }

    QString m_home = QDir::currentPath();
    QTemporaryDir m_dir;
    Module1 m_module;
    Form3 m_form{m_module};
    QStringList m_reports;
};

class Form3PaintTest : public Form3Test, public testing::WithParamInterface<std::int16_t>
{
};

TEST_P(Form3PaintTest, PolygonsBelowNShowTheirTrainAndLabelAndKDispLeavesNoBrushBehind)
{
    const std::int16_t n = GetParam();
    const auto mine = dc().createSolidBrush(0x123456); // KDisp must hand this back selected
    dc().selectObject(mine);
    MapGeometry g = grid(40, n);
    g.MapLabelPos[2] = {INT32_MIN, INT32_MAX}; // far off, and drawn without harm
    activatedWith(g, {});
    const int drawn = std::clamp<int>(n, 0, 40);
    for (int d = 0; d < 40; ++d) {
        const auto fill = toQColor(d == 10 || d == 11 ? kColourRed : kMapBackColour);
        EXPECT_EQ(dc().pixel(inside(d)), d < drawn ? fill : dc().background()) << d;
        EXPECT_EQ(dc().pixel(inside(d, true)) == QColor(Qt::green), d < drawn && d != 2) << d;
    }
    EXPECT_EQ(dc().selectedObject(), mine);
    EXPECT_EQ(dc().liveBrushCount(), 1);
    EXPECT_EQ(dc().createdBrushCount(), 1 + drawn); // one brush per polygon
}

INSTANTIATE_TEST_SUITE_P(Counts, Form3PaintTest, testing::Values(40, 11, 0, -7));

TEST_F(Form3Test, ActivationRereadsTheFileKeepsTheMapWhenItCannotAndReportsEachFailureOnce)
{
    EXPECT_EQ(activatedWith(grid(8, 8), inside(10)), dc().background());
    ASSERT_EQ(saveMapFile(kMapFileName, grid(16, 16)), "");
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&m_form, &activation);
    EXPECT_EQ(m_form.grab().toImage().pixelColor(inside(10)), toQColor(kColourRed));

    ASSERT_TRUE(QFile::remove(QStringLiteral("kukan.dat"))); // missing: silent
    m_form.activate();
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("kukan.dat"))); // there, but cannot be read
    m_form.activate();
    m_form.activate();
    EXPECT_EQ(m_reports, QStringList{QStringLiteral("kukan.dat")});
    EXPECT_EQ(dc().pixel(inside(11)), toQColor(kColourRed)); // drawn from the tables it had
    ASSERT_TRUE(QDir().rmdir(QStringLiteral("kukan.dat")));  // a different failure is news
    ASSERT_TRUE(QFile::link(QStringLiteral("kukan.dat"), QStringLiteral("kukan.dat")));
    m_form.activate();
    EXPECT_EQ(m_reports.size(), 2);
    EXPECT_EQ(activatedWith(grid(2, 2), inside(10)), dc().background()); // nothing lingers
}

} // namespace
} // namespace relm
