// Bad atc.ini, kukan.dat and atctest.bin met by the loaders and the windows: the initial data
// dialog, the map window and Transfer on the main window. None of them crashes, each tells the
// operator what it was decided to tell, and no file changes unless the operator saved it.

#include "controller_pty.h"

#include "console/console.h"
#include "console/form1.h"
#include "initdata/form2.h"
#include "initdata/load_ini.h"
#include "map/form3.h"
#include "map/map_geometry.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace relm {
namespace {

namespace fs = std::filesystem;

// What lies at a file's path; a directory in its place cannot be read even by root.
enum class FileKind { Missing, Contents, Directory };

// Makes a new empty directory the current one: the console opens its files by bare name.
void enterFreshDir()
{
    std::string dir = testing::TempDir() + "relm-bad-files-XXXXXX";
    fs::current_path(::mkdtemp(dir.data()));
}

void placeFile(const fs::path &path, FileKind kind, const std::string &contents = {})
{
    fs::remove_all(path);
    if (kind == FileKind::Directory)
        fs::create_directory(path);
    else if (kind == FileKind::Contents)
        std::ofstream(path, std::ios::binary) << contents;
}

// The path's state for before/after comparisons: its bytes for a file, a marker otherwise.
std::string snapshot(const fs::path &path)
{
    if (fs::is_directory(path))
        return "<directory>";
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
}

std::string iniLines(std::initializer_list<int> values)
{
    std::string text;
    for (const int v : values)
        text += formatIniValue(v);
    return text;
}

struct IniCase
{
    const char *name;
    FileKind kind;
    std::string contents;
    IniLoadStatus status;
    int trainsLoaded;
    IniValueArray shown; // what the dialog's controls hold when it opens
};

using BadIniTest = testing::TestWithParam<IniCase>;

TEST_P(BadIniTest, LoadStopsAsDecidedAndTheDialogWritesNothingUnlessSaved)
{
    const IniCase &c = GetParam();
    enterFreshDir();
    placeFile("atc.ini", c.kind, c.contents);
    const std::string before = snapshot("atc.ini");
    Module1 m;
    m.PosCode0.fill(0x7100); // no load ever writes this code
    const IniLoadResult r = LoadIni(m, "atc.ini");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.ok(), r.message.empty()) << r.message;
    for (int t = 0; t < kTrainCount; ++t)
        EXPECT_EQ(m.PosCode0[t] != 0x7100, t < c.trainsLoaded) << "train " << t;
    {
        Form2 dialog;
        EXPECT_EQ(dialog.currentValues(), c.shown);
        dialog.Command2->click(); // キャンセル
    }
    Form2{}; // closed without a button
    EXPECT_EQ(snapshot("atc.ini"), before);
}

using K = FileKind;
using S = IniLoadStatus;

INSTANTIATE_TEST_SUITE_P(
    Files, BadIniTest,
    testing::Values(
        IniCase{"Missing", K::Missing, "", S::CannotOpen, 0, {}},
        IniCase{"DirectoryInItsPlace", K::Directory, "", S::CannotRead, 0, {}},
        IniCase{"BinaryGarbage", K::Contents, std::string("\177ELF\2\0", 6), S::NotANumber, 0, {}},
        IniCase{"EndsInTheSecondTrain",
                K::Contents,
                iniLines({3, 7, 1, 1, 2, 6}),
                S::EndOfFile,
                1,
                {3, 7, 1, 1, 2, 6, 0, 0, 0, 0, 0, 0}},
        IniCase{"NumberTooLong",
                K::Contents,
                iniLines({1, 2, 0, 1}) + " 99999999999999999999 \r\n",
                S::NotANumber,
                1,
                {1, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
        // The dialog brings values out of range to their ends.
        IniCase{"OutOfRange",
                K::Contents,
                iniLines({1, 5, 1, 1, 1, 8, -1, 7, 3, 3, 1, 1}),
                S::OutOfRange,
                1,
                {1, 5, 1, 1, 1, 7, 0, 1, 3, 3, 1, 1}},
        IniCase{"Oversized",
                K::Contents,
                std::string(70 * 1024, ' ') + iniLines({1, 2, 0, 1}),
                S::CannotRead,
                0,
                {}}),
    [](const testing::TestParamInfo<IniCase> &p) { return std::string(p.param.name); });

TEST(BadIniSaveTest, OkOverADirectoryReportsAndLeavesItAlone)
{
    enterFreshDir();
    placeFile("atc.ini", FileKind::Directory);
    Form2 dialog;
    std::vector<QString> reports;
    dialog.setSaveErrorReporter([&reports](QWidget *, const QString &t) { reports.push_back(t); });
    dialog.Command1->click(); // ＯＫ
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].contains(QStringLiteral("atc.ini")));
    EXPECT_EQ(snapshot("atc.ini"), "<directory>");
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

// A map of N polygons, some corners far outside any window, cut or padded to length.
std::string mapFile(int polygons, int pointsEach, std::size_t length = kMapFileSize)
{
    MapGeometry g;
    g.MapPointCount.fill(static_cast<std::int16_t>(pointsEach));
    g.MapPointCount[kMapPolyCountSlot] = static_cast<std::int16_t>(polygons);
    for (std::size_t i = 0; i < g.MapPoints.size(); ++i) {
        const std::int32_t far = i % 3 == 0 ? 2'000'000'000 : static_cast<std::int32_t>(i % 400);
        g.MapPoints[i] = {far, -far};
    }
    const std::vector<std::uint8_t> bytes = serializeMapGeometry(g);
    std::string text(bytes.begin(), bytes.end());
    text.resize(length, 'Z');
    return text;
}

struct MapCase
{
    const char *name;
    FileKind kind;
    std::string contents;
    int reports; // messages after two activations
    int drawn;   // polygons drawn afterwards
};

using BadMapTest = testing::TestWithParam<MapCase>;

TEST_P(BadMapTest, DrawsWhatItCanAndReportsAnUnreadableFileOnce)
{
    const MapCase &c = GetParam();
    enterFreshDir();
    Module1 module;
    setStartColours(module);
    Form3 window(module);
    int reports = 0;
    window.setFailureReporter([&reports](const QString &, const QString &) { ++reports; });
    placeFile(kMapFileName, FileKind::Contents, mapFile(7, 4)); // a good map first
    window.activate();
    placeFile(kMapFileName, c.kind, c.contents);
    const std::string before = snapshot(kMapFileName);
    window.activate();
    window.activate();

    EXPECT_EQ(reports, c.reports);
    EXPECT_EQ(drawnPolygonCount(window.geometry()), c.drawn);
    EXPECT_EQ(window.surface().liveBrushCount(), 0);
    EXPECT_EQ(window.surface().selectedObject(), window.surface().stockBrush());
    EXPECT_EQ(snapshot(kMapFileName), before);
}

// Cut inside the point counts N, which lies beyond the cut, reads as 0; cut inside the label
// anchors every polygon is there.
INSTANTIATE_TEST_SUITE_P(
    Files, BadMapTest,
    testing::Values(MapCase{"CutInsideTheCounts", K::Contents, mapFile(40, 6, 8950), 0, 0},
                    MapCase{"CutInsideTheLabels", K::Contents, mapFile(40, 6, 9500), 0, 40},
                    MapCase{"Oversized", K::Contents, mapFile(9, 5, 50000), 0, 9},
                    MapCase{"CountsFarAbove", K::Contents, mapFile(32000, 30000), 0, 100},
                    MapCase{"NegativeCounts", K::Contents, mapFile(12, -1), 0, 12},
                    MapCase{"GoneAfterAGoodLoad", K::Missing, "", 0, 7},
                    MapCase{"DirectoryInItsPlace", K::Directory, "", 1, 7}),
    [](const testing::TestParamInfo<MapCase> &p) { return std::string(p.param.name); });

const std::string kGoodIni = iniLines({1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0});

struct TransferCase
{
    const char *name;
    std::string ini;
    FileKind kind;
    std::string image;
    int sent;          // bytes on the line; none when refused with a message
    int firstTrainOwn; // train 0's own section register afterwards
};

using BadFileTransferTest = testing::TestWithParam<TransferCase>;

TEST_P(BadFileTransferTest, RefusesWithAMessageOrSendsTheWholeImage)
{
    const TransferCase &c = GetParam();
    test::ControllerPty pty;
    if (!pty.ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    const int master = pty.master();
    enterFreshDir();
    placeFile("atc.ini", FileKind::Contents, c.ini);
    placeFile("atctest.bin", c.kind, c.image);
    const std::string imageBefore = snapshot("atctest.bin");
    Module1 module;
    int sent = 0, messages = 0;
    {
        Console console(module, QString::fromStdString(pty.device()));
        Form1 form(console);
        form.setMessageReporter([&messages](const QString &, const QString &) { ++messages; });
        console.setProgramEnder([](int) {});
        QString error;
        ASSERT_TRUE(form.load(&error)) << error.toStdString();
        form.form3().setFailureReporter([](const QString &, const QString &) {});
        console.transfer();
        char buf[4096];
        for (int waited = 0; waited < 100; waited += 10) {
            QTest::qWait(10);
            for (ssize_t n = 0; (n = ::read(master, buf, sizeof buf)) > 0;)
                sent += static_cast<int>(n);
        }
        const bool refused = c.sent == 0;
        EXPECT_EQ(messages, refused ? 1 : 0);
        EXPECT_EQ(form.Command2->isEnabled(), refused);
        EXPECT_EQ(console.Timer1.isActive(), !refused);
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(module.PosCode0[0], c.firstTrainOwn);
    EXPECT_EQ(snapshot("atctest.bin"), imageBefore);
    EXPECT_EQ(snapshot("atc.ini"), c.ini);
}

const std::string kBadIni("\xEF\xBB\xBF 1 \r\n\xFF\xFE junk \r\n", 16);

// A bad atc.ini stops the Transfer before anything is sent: the registers stay as they were.
// (A garbage file used to be reported on standard error only, and the download and an
// initialisation frame from the old registers, 41 bytes here, went out all the same.)
INSTANTIATE_TEST_SUITE_P(
    Images, BadFileTransferTest,
    testing::Values(
        TransferCase{"ImageMissing", kGoodIni, K::Missing, "", 0, 0},
        TransferCase{"ImageDirectory", kGoodIni, K::Directory, "", 0, 0},
        TransferCase{"ImageOneByteTooLarge", kGoodIni, K::Contents, std::string(19970, 'x'), 0, 0},
        TransferCase{"ImageEmpty", kGoodIni, K::Contents, "", 31, 0x0A},
        TransferCase{"ImageGarbage", kGoodIni, K::Contents, std::string(1000, '\xFF'), 1031, 0x0A},
        TransferCase{"GarbageIni", kBadIni, K::Contents, std::string(10, '\1'), 0, 0},
        TransferCase{"IniOutOfRange", iniLines({1, 2, 0, 1, 0, 9, 1, 1, 0, 0, 0, 0}), K::Contents,
                     "", 0, 0},
        TransferCase{"IniCutShort", iniLines({1, 2, 0, 1, 0, 5}), K::Contents, "", 0, 0}),
    [](const testing::TestParamInfo<TransferCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
