// Bad atc.ini, kukan.dat and atctest.bin met by the windows: the initial data dialog, the map
// window and Transfer on the main window. None of them crashes, each tells the operator what
// it was decided to tell, and no file changes unless the operator saved it.

#include "scratch_dir.h"

#include "console/form1.h"
#include "initdata/form2.h"
#include "map/form3.h"
#include "map/map_geometry.h"
#include "model/module1.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace relm {
namespace {

using test::Bytes;
using test::FileKind;

std::string iniLines(std::initializer_list<int> values)
{
    std::string text;
    for (const int v : values)
        text += formatIniValue(v);
    return text;
}

// ---- the initial data dialog -------------------------------------------------------------

struct DialogCase
{
    const char *name;
    FileKind kind;
    std::string contents;
    IniValueArray shown; // what the dialog's controls hold when it opens
};

class BadIniDialogTest : public testing::TestWithParam<DialogCase>
{};

TEST_P(BadIniDialogTest, OpensWithWhatItCanReadAndWritesNothingOnCancel)
{
    const DialogCase &c = GetParam();
    test::ScratchDir dir;
    const auto path = dir.file("atc.ini");
    test::placeFile(path, c.kind, test::bytesOf(c.contents));
    const std::string before = test::snapshot(path);
    {
        Form2 dialog(QString::fromStdString(path.string()));
        EXPECT_EQ(dialog.currentValues(), c.shown);
        dialog.Command2->click(); // キャンセル
        EXPECT_EQ(test::snapshot(path), before);
    }
    {
        Form2 dialog(QString::fromStdString(path.string()));
        // Closed without a button: the dialog is discarded unsaved.
    }
    EXPECT_EQ(test::snapshot(path), before);
}

const IniValueArray kZeros{};

INSTANTIATE_TEST_SUITE_P(
    Files, BadIniDialogTest,
    testing::Values(
        DialogCase{"Missing", FileKind::Missing, "", kZeros},
        DialogCase{"DirectoryInItsPlace", FileKind::Directory, "", kZeros},
        DialogCase{"LinkToItself", FileKind::SelfLink, "", kZeros},
        DialogCase{"Empty", FileKind::Contents, "", kZeros},
        DialogCase{"BinaryGarbage", FileKind::Contents, std::string("\x7F" "ELF\x02\x01\x01\0", 8),
                   kZeros},
        DialogCase{"EndsInTheSecondTrain", FileKind::Contents, iniLines({3, 7, 1, 1, 2, 6}),
                   {3, 7, 1, 1, 2, 6, 0, 0, 0, 0, 0, 0}},
        DialogCase{"ValuesOutOfRangeAreBroughtToTheirEnds", FileKind::Contents,
                   iniLines({9, -4, 5, 2, 1, 8, -1, 7, 3, 3, 1, 1}),
                   {3, 0, 1, 1, 1, 7, 0, 1, 3, 3, 1, 1}},
        DialogCase{"Oversized", FileKind::Contents,
                   std::string(70 * 1024, ' ') + iniLines({1, 2, 0, 1}), kZeros}),
    [](const testing::TestParamInfo<DialogCase> &p) { return std::string(p.param.name); });

TEST(BadIniDialogTest, OkOverADirectoryReportsAndLeavesItAlone)
{
    test::ScratchDir dir;
    const auto path = dir.file("atc.ini");
    test::placeFile(path, FileKind::Directory);
    Form2 dialog(QString::fromStdString(path.string()));
    std::vector<QString> reports;
    dialog.setSaveErrorReporter(
        [&reports](QWidget *, const QString &text) { reports.push_back(text); });
    dialog.Command1->click(); // ＯＫ
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains(QStringLiteral("atc.ini")));
    EXPECT_EQ(test::snapshot(path), "<directory>");
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST(BadIniDialogTest, OkRewritesAGarbageFileWithWhatTheOperatorSaw)
{
    test::ScratchDir dir;
    const auto path = dir.file("atc.ini");
    test::placeFile(path, FileKind::Contents, test::bytesOf(" 2 \r\n x \r\n"));
    Form2 dialog(QString::fromStdString(path.string()));
    dialog.Command1->click();
    EXPECT_EQ(test::snapshot(path), formatIni({2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

// ---- the map window ----------------------------------------------------------------------

Bytes mapFile(int polygons, int pointsEach, std::size_t length = kMapFileSize)
{
    MapGeometry g;
    g.MapPointCount[kMapPolyCountSlot] = static_cast<std::int16_t>(polygons);
    for (int p = 0; p < kMapMaxPolygons; ++p) {
        g.MapPointCount[static_cast<std::size_t>(p)] = static_cast<std::int16_t>(pointsEach);
        for (int k = 0; k < kMapPointsPerSlot; ++k) {
            // Corners anywhere, far outside the window included.
            const std::int32_t far = (p + k) % 3 == 0 ? 2'000'000'000 : 37 * k + p;
            g.MapPoints[static_cast<std::size_t>(p * kMapPointsPerSlot + k)] = {far, -far};
        }
        g.MapLabelPos[static_cast<std::size_t>(p)] = {4 * p, 3 * p};
    }
    Bytes bytes = serializeMapGeometry(g);
    bytes.resize(length, 0x5A);
    return bytes;
}

struct MapWindowCase
{
    const char *name;
    FileKind kind;
    Bytes contents;
    int reports; // messages after two activations
    int drawn;   // polygons drawn afterwards
};

class BadMapWindowTest : public testing::TestWithParam<MapWindowCase>
{};

TEST_P(BadMapWindowTest, DrawsWhatItCanAndReportsAnUnreadableFileOnce)
{
    const MapWindowCase &c = GetParam();
    test::ScratchDir dir;
    dir.enter();
    Module1 module;
    setStartColours(module);
    Form3 window(module);
    int reports = 0;
    window.setFailureReporter([&reports](const QString &, const QString &) { ++reports; });

    // A good map first: seven squares.
    test::placeFile(kMapFileName, FileKind::Contents, mapFile(7, 4));
    window.activate();
    test::placeFile(kMapFileName, c.kind, c.contents);
    const std::string before = test::snapshot(kMapFileName);
    window.activate();
    window.activate();

    EXPECT_EQ(reports, c.reports);
    EXPECT_EQ(drawnPolygonCount(window.geometry()), c.drawn);
    EXPECT_EQ(window.surface().liveBrushCount(), 0);
    EXPECT_EQ(window.surface().selectedObject(), window.surface().stockBrush());
    EXPECT_EQ(test::snapshot(kMapFileName), before);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadMapWindowTest,
    testing::Values(MapWindowCase{"Short", FileKind::Contents, Bytes(300, 0x11), 0, 0},
                    MapWindowCase{"Empty", FileKind::Contents, {}, 0, 0},
                    MapWindowCase{"Oversized", FileKind::Contents, mapFile(9, 5, 50000), 0, 9},
                    MapWindowCase{"CountsFarAboveTheFormat", FileKind::Contents,
                                  mapFile(32000, 30000), 0, 100},
                    MapWindowCase{"NegativeCounts", FileKind::Contents, mapFile(-1, -1), 0, 0},
                    MapWindowCase{"GoneAfterAGoodLoad", FileKind::Missing, {}, 0, 7},
                    MapWindowCase{"DirectoryInItsPlace", FileKind::Directory, {}, 1, 7},
                    MapWindowCase{"LinkToItself", FileKind::SelfLink, {}, 1, 7}),
    [](const testing::TestParamInfo<MapWindowCase> &p) { return std::string(p.param.name); });

// ---- Transfer on the main window ---------------------------------------------------------

// The controller's end of a pseudo-terminal: what the console writes arrives here.
class ControllerEnd final
{
public:
    ControllerEnd()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            m_master = -1;
            return;
        }
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_device = QString::fromLocal8Bit(name);
    }
    ~ControllerEnd()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    ControllerEnd(const ControllerEnd &) = delete;
    ControllerEnd &operator=(const ControllerEnd &) = delete;

    bool ok() const { return m_master >= 0; }
    QString device() const { return m_device; }

    // Everything written so far, letting the console's events run for `ms`.
    Bytes written(int ms = 100)
    {
        Bytes out;
        for (int waited = 0; waited < ms; waited += 5) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::uint8_t buf[4096];
            ssize_t n = 0;
            while ((n = ::read(m_master, buf, sizeof buf)) > 0)
                out.insert(out.end(), buf, buf + n);
            QThread::msleep(5);
        }
        return out;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
};

struct TransferCase
{
    const char *name;
    FileKind kind;
    Bytes image;
    bool refused;         // a message, nothing sent, the buttons as they were
    std::size_t frameLength; // bytes on the line when not refused
};

class BadImageTransferTest : public testing::TestWithParam<TransferCase>
{};

TEST_P(BadImageTransferTest, RefusesWithAMessageOrSendsTheWholeImage)
{
    const TransferCase &c = GetParam();
    ControllerEnd line;
    if (!line.ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    test::ScratchDir dir;
    dir.enter();
    const std::string ini = iniLines({1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0});
    test::placeFile("atc.ini", FileKind::Contents, test::bytesOf(ini));
    test::placeFile("atctest.bin", c.kind, c.image);
    const std::string imageBefore = test::snapshot("atctest.bin");

    Module1 module;
    Form1 form(module, line.device());
    std::vector<QString> messages;
    form.setMessageReporter(
        [&messages](const QString &, const QString &text) { messages.push_back(text); });
    form.setProgramEnder([](int) {});
    QString error;
    ASSERT_TRUE(form.load(&error)) << error.toStdString();
    form.form3().setFailureReporter([](const QString &, const QString &) {});

    form.onTransfer();
    const Bytes sent = line.written();

    if (c.refused) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(sent.empty());
        EXPECT_TRUE(form.Command2->isEnabled());
        EXPECT_FALSE(form.Command7->isEnabled());
        EXPECT_FALSE(form.Timer1.isActive());
    } else {
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(sent.size(), c.frameLength);
        EXPECT_FALSE(form.Command2->isEnabled());
        EXPECT_TRUE(form.Command7->isEnabled());
        EXPECT_TRUE(form.Timer1.isActive());
        EXPECT_EQ(module.PosCode0[0], 0x0A); // atc.ini was loaded
    }
    EXPECT_EQ(test::snapshot("atctest.bin"), imageBefore);
    EXPECT_EQ(test::snapshot("atc.ini"), ini);
}

INSTANTIATE_TEST_SUITE_P(
    Images, BadImageTransferTest,
    testing::Values(
        TransferCase{"Missing", FileKind::Missing, {}, true, 0},
        TransferCase{"DirectoryInItsPlace", FileKind::Directory, {}, true, 0},
        TransferCase{"LinkToItself", FileKind::SelfLink, {}, true, 0},
        TransferCase{"OneByteTooLarge", FileKind::Contents, Bytes(19970, 0xA5), true, 0},
        TransferCase{"FarTooLarge", FileKind::Contents, Bytes(3'000'000, 0xA5), true, 0},
        TransferCase{"Empty", FileKind::Contents, {}, false, 31},
        TransferCase{"Garbage", FileKind::Contents, Bytes(1000, 0xFF), false, 1031}),
    [](const testing::TestParamInfo<TransferCase> &p) { return std::string(p.param.name); });

TEST(BadIniTransferTest, AGarbageAtcIniStartsTheCycleWithThePositionsAsTheyWere)
{
    ControllerEnd line;
    if (!line.ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    test::ScratchDir dir;
    dir.enter();
    const std::string garbage("\xEF\xBB\xBF 1 \r\n 2 \r\n\xFF\xFE junk \r\n", 21);
    test::placeFile("atc.ini", FileKind::Contents, test::bytesOf(garbage));
    test::placeFile("atctest.bin", FileKind::Contents, Bytes(10, 1));

    Module1 module;
    Form1 form(module, line.device());
    form.setMessageReporter([](const QString &, const QString &) {});
    form.setProgramEnder([](int) {});
    QString error;
    ASSERT_TRUE(form.load(&error)) << error.toStdString();
    form.form3().setFailureReporter([](const QString &, const QString &) {});

    form.onTransfer();
    EXPECT_EQ(line.written().size(), 41u);
    EXPECT_TRUE(form.Timer1.isActive());
    for (int t = 0; t < kTrainCount; ++t)
        EXPECT_EQ(module.PosCode0[t], 0) << "train " << t << " keeps its registers";
    EXPECT_EQ(test::snapshot("atc.ini"), garbage);
}

} // namespace
} // namespace relm
