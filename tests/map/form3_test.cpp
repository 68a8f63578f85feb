#include "map/form3.h"

#include "map/map_file.h"
#include "model/section_code.h"
#include "widgets/ui_units.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace relm {
namespace {

constexpr int kColumns = 8;
constexpr int kCellWidth = 48;
constexpr int kCellHeight = 64;
constexpr std::int16_t kOut = kAbsentCode;

// A grid of square polygons: polygon d in column d % 8, row d / 8, label in its top-left corner.
MapGeometry gridGeometry(int polygons, std::int16_t n)
{
    MapGeometry g;
    for (int d = 0; d < polygons; ++d) {
        const int left = (d % kColumns) * kCellWidth + 1;
        const int top = (d / kColumns) * kCellHeight + 1;
        const auto slot = static_cast<std::size_t>(d);
        const std::array<MapPoint, 4> square{MapPoint{left, top}, MapPoint{left + 45, top},
                                             MapPoint{left + 45, top + 61},
                                             MapPoint{left, top + 61}};
        std::copy(square.begin(), square.end(), g.MapPoints.begin() + 11 * d);
        g.MapPointCount[slot] = 4;
        g.MapLabelPos[slot] = {left + 9, top + 9};
    }
    g.MapPointCount[100] = n;
    g.MapPolyCount = n;
    return g;
}

// Inside polygon d, well away from its outline and label.
QPoint probe(int d)
{
    return {(d % kColumns) * kCellWidth + 24, (d / kColumns) * kCellHeight + 50};
}

// Runs each test in a directory of its own, as the console runs in the layout directory.
class Form3Test : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_oldDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
        setStartColours(m_module);
        for (int t = 0; t < kTrainCount; ++t)
            place(t, kOut, kOut);
        m_form = std::make_unique<Form3>(m_module);
        m_form->setFailureReporter([this](const QString &file, const QString &reason) {
            m_reports.push_back(file + QStringLiteral(": ") + reason);
        });
    }
    void TearDown() override
    {
        m_form.reset();
        QDir::setCurrent(m_oldDir);
    }

    void place(int t, std::int16_t code0, std::int16_t code1)
    {
        m_module.PosCode0[static_cast<std::size_t>(t)] = code0;
        m_module.PosCode1[static_cast<std::size_t>(t)] = code1;
    }

    static void writeMap(const MapGeometry &g) { ASSERT_EQ(saveMapFile(kMapFileName, g), ""); }

    QColor at(QPoint p) const { return m_form->surface().pixel(p); }
    QColor cleared() const { return m_form->surface().background(); }

    QTemporaryDir m_dir;
    QString m_oldDir;
    Module1 m_module;
    std::unique_ptr<Form3> m_form;
    std::vector<QString> m_reports;
};

TEST_F(Form3Test, IsTheFixedSizeMapWindow)
{
    EXPECT_EQ(m_form->windowTitle(), QStringLiteral("運行区間表示"));
    EXPECT_EQ(m_form->size(), QSize(388, 323));
    EXPECT_EQ(m_form->minimumSize(), m_form->maximumSize());
    EXPECT_EQ(cleared(), toQColor(kButtonFaceColour));
}

struct Trains
{
    std::array<std::int16_t, 2> x, y, z; // PosCode0, PosCode1
};

struct PaintCase
{
    const char *name;
    Trains trains;
    std::int16_t n;
    std::map<int, std::int32_t> coloured; // polygon -> colour; others MapBackColour if drawn
};

class Form3PaintTest : public Form3Test, public testing::WithParamInterface<PaintCase>
{
};

TEST_P(Form3PaintTest, EachDrawnPolygonShowsItsTrain)
{
    const PaintCase c = GetParam();
    place(0, c.trains.x[0], c.trains.x[1]);
    place(1, c.trains.y[0], c.trains.y[1]);
    place(2, c.trains.z[0], c.trains.z[1]);
    writeMap(gridGeometry(40, c.n));
    m_form->activate();

    const int drawn = std::clamp<int>(c.n, 0, 40);
    for (int d = 0; d < 40; ++d) {
        QColor expected = cleared();
        if (d < drawn) {
            const auto it = c.coloured.find(d);
            expected = toQColor(static_cast<std::uint32_t>(
                it == c.coloured.end() ? m_module.MapBackColour : it->second));
        }
        EXPECT_EQ(at(probe(d)), expected) << "polygon " << d;
    }
}

constexpr std::array<std::int16_t, 2> kAway{kOut, kOut};

INSTANTIATE_TEST_SUITE_P(
    Cases, Form3PaintTest,
    testing::Values(
        PaintCase{"XInTenAndEleven",
                  {{0x0A, 0x0B}, kAway, kAway},
                  40,
                  {{10, kColourRed}, {11, kColourRed}}},
        PaintCase{"XWinsOverZ",
                  {{0x12, 0x11}, kAway, {0x12, 0x13}},
                  40,
                  {{17, kColourRed}, {18, kColourRed}, {19, kColourBlue}}},
        PaintCase{"ReverseBitColoursTheSameSection",
                  {{0x2A, 0x2B}, kAway, kAway},
                  40,
                  {{10, kColourRed}, {11, kColourRed}}},
        PaintCase{"AllCodesZeroBeforeAnyData", {{0, 0}, {0, 0}, {0, 0}}, 40, {{0, kColourRed}}},
        PaintCase{"OnlyThreeDrawn", {{0x0A, 0x01}, kAway, kAway}, 3, {{1, kColourRed}}},
        PaintCase{"NoneDrawn", {{0x00, 0x01}, kAway, kAway}, 0, {}},
        PaintCase{"NegativeCountDrawsNothing", {{0x00, 0x01}, kAway, kAway}, -7, {}},
        PaintCase{"HugeCountDrawsWhatExists",
                  {{0x00, 0x01}, kAway, kAway},
                  500,
                  {{0, kColourRed}, {1, kColourRed}}}),
    [](const testing::TestParamInfo<PaintCase> &p) { return std::string(p.param.name); });

TEST_F(Form3Test, LabelsAreBoxedNumbersDrawnRightAfterTheirPolygon)
{
    // Polygon 1 overlaps polygon 0's label, so it must cover it; polygon 1's own label sits on
    // top of it. The expected picture is drawn step by step with the surface's primitives.
    MapGeometry g;
    const std::array<MapPoint, 4> first{MapPoint{10, 10}, MapPoint{120, 10}, MapPoint{120, 90},
                                        MapPoint{10, 90}};
    const std::array<MapPoint, 3> second{MapPoint{15, 15}, MapPoint{200, 15}, MapPoint{15, 150}};
    std::copy(first.begin(), first.end(), g.MapPoints.begin());
    std::copy(second.begin(), second.end(), g.MapPoints.begin() + 11);
    g.MapPointCount = {4, 3};
    g.MapPointCount[100] = 2;
    g.MapLabelPos[0] = {30, 30};
    g.MapLabelPos[1] = {60, 40};
    writeMap(g);
    place(0, 0x01, 0x09);
    m_form->activate();

    MapSurface expected(m_form->surface().size(), m_form->surface().devicePixelRatio(), cleared(),
                        m_form->palette().color(QPalette::ButtonText), m_form->font());
    const auto draw = [&](std::int32_t colour, std::vector<QPoint> corners, QPoint label,
                          const QString &text) {
        const auto brush = expected.createSolidBrush(static_cast<std::uint32_t>(colour));
        const auto old = expected.selectObject(brush);
        expected.polygon(corners);
        expected.rectangle(label - QPoint(5, 5), label + QPoint(10, 5), QColor(0, 255, 0));
        expected.textOut(label - QPoint(5, 5), text);
        expected.selectObject(old);
        expected.deleteObject(brush);
    };
    draw(kMapBackColour, {{10, 10}, {120, 10}, {120, 90}, {10, 90}}, {30, 30},
         QStringLiteral(" 0"));
    draw(kColourRed, {{15, 15}, {200, 15}, {15, 150}}, {60, 40}, QStringLiteral(" 1"));
    EXPECT_TRUE(m_form->surface().image() == expected.image());
}

TEST_F(Form3Test, KDispLeavesTheSelectionAndNoBrushBehind)
{
    writeMap(gridGeometry(40, 40));
    m_form->activate();
    MapSurface &dc = m_form->surface();
    // A brush of the caller's own is selected; KDisp must hand it back.
    const auto mine = dc.createSolidBrush(0x123456);
    dc.selectObject(mine);
    const int createdBefore = dc.createdBrushCount();

    m_form->KDisp();

    EXPECT_EQ(dc.createdBrushCount() - createdBefore, 40); // one brush per polygon
    EXPECT_EQ(dc.selectedObject(), mine);
    EXPECT_EQ(dc.liveBrushCount(), 1);
}

TEST_F(Form3Test, ActivationReloadsAnEditedFile)
{
    place(0, 0x05, 0x04);
    writeMap(gridGeometry(8, 8));
    QEvent activation(QEvent::WindowActivate);
    QCoreApplication::sendEvent(m_form.get(), &activation);
    EXPECT_EQ(at(probe(5)), toQColor(kColourRed));
    EXPECT_EQ(at(probe(9)), cleared());

    // The polygons move one row down and there are more of them.
    MapGeometry edited = gridGeometry(16, 16);
    writeMap(edited);
    QCoreApplication::sendEvent(m_form.get(), &activation);
    EXPECT_EQ(m_form->geometry(), edited);
    EXPECT_EQ(at(probe(9)), toQColor(kMapBackColour));

    // Fewer polygons again: the old picture does not linger.
    writeMap(gridGeometry(2, 2));
    m_form->activate();
    EXPECT_EQ(at(probe(5)), cleared());
}

TEST_F(Form3Test, FileTroubleKeepsTheMapAndReportsEachFailureOnce)
{
    const QString name = QString::fromUtf8(kMapFileName);
    writeMap(gridGeometry(8, 8));
    m_form->activate();
    ASSERT_TRUE(QFile::remove(name));
    m_form->activate(); // missing: silent
    EXPECT_TRUE(m_reports.empty());

    ASSERT_TRUE(QDir().mkdir(name)); // exists but cannot be read
    m_form->activate();
    m_form->activate();
    ASSERT_EQ(m_reports.size(), 1u);
    EXPECT_TRUE(m_reports[0].startsWith(QStringLiteral("kukan.dat: ")))
        << m_reports[0].toStdString();
    EXPECT_EQ(m_form->geometry(), gridGeometry(8, 8));
    EXPECT_EQ(at(probe(3)), toQColor(kMapBackColour));

    ASSERT_TRUE(QDir().rmdir(name)); // a different failure is news to the operator
    ASSERT_TRUE(QFile::link(name, name));
    m_form->activate();
    EXPECT_EQ(m_reports.size(), 2u);
}

TEST_F(Form3Test, WildCoordinatesDrawWithoutHarm)
{
    MapGeometry g = gridGeometry(1, 3);
    for (std::size_t k = 0; k < 11; ++k) {
        g.MapPoints[11 + k] = {k % 2 == 0 ? INT32_MIN : INT32_MAX, k % 3 == 0 ? INT32_MAX : 0};
    }
    g.MapPointCount[1] = 11;
    g.MapPointCount[2] = 3;
    g.MapLabelPos[1] = {INT32_MAX, INT32_MIN};
    g.MapLabelPos[2] = {INT32_MIN, INT32_MAX};
    writeMap(g);
    m_form->activate();
    EXPECT_EQ(m_form->surface().liveBrushCount(), 0);
}

TEST_F(Form3Test, PaintShowsTheRetainedPicture)
{
    place(2, 0x06, 0x05);
    writeMap(gridGeometry(8, 8));
    m_form->activate();
    const QImage shown = m_form->grab().toImage();
    EXPECT_EQ(shown.pixelColor(probe(6)), toQColor(kColourBlue));
    EXPECT_EQ(shown.pixelColor(probe(7)), toQColor(kMapBackColour));
    EXPECT_EQ(shown.pixelColor(probe(12)), cleared());
}

} // namespace
} // namespace relm
