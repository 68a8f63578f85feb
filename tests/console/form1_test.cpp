// Form1 against a controller the test plays on a pseudo-terminal, and in real time against
// relm-sim: a live run that loses its line for a while, and a recording played back to fresh
// consoles.

#include "console/form1.h"

#include "console/monitor_window.h"
#include "console/simulator_process.h"
#include "map/form3.h"
#include "sim/program_image.h"
#include "traffic/replay.h"
#include "traffic/traffic_log.h"
#include "widgets/rect_shape.h"
#include "widgets/ui_units.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <pty.h>
#include <unistd.h>

namespace relm {
namespace {

void writeFile(const char *name, const QByteArray &content)
{
    QFile f(QString::fromLatin1(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

TrafficLog readLog(const char *name)
{
    std::ifstream in(name);
    return readTrafficLog(in);
}

// A fresh console (its own tables and windows) in the current directory, logging every frame,
// with message boxes and the program's end recorded instead of shown or carried out.
struct Console
{
    Module1 module;
    std::unique_ptr<Form1> form;
    std::vector<QString> messages;
    int endStatus = -1;

    Console(const QString &device, const char *logName)
        : form(std::make_unique<Form1>(module, device))
    {
        form->setMessageReporter(
            [this](const QString &, const QString &text) { messages.push_back(text); });
        form->setProgramEnder([this](int status) { endStatus = status; });
        QString error;
        EXPECT_TRUE(form->setTrafficLog(QString::fromLatin1(logName), &error));
        EXPECT_TRUE(form->load(&error)) << error.toStdString();
        form->form3().setFailureReporter([](const QString &, const QString &) {});
    }
};

// Each test runs in its own scratch directory, the current one while it runs.
class ScratchDirTest : public testing::Test
{
protected:
    ScratchDirTest() { QDir::setCurrent(dir.path()); }
    ~ScratchDirTest() override { QDir::setCurrent(previous); }

    QString previous = QDir::currentPath();
    QTemporaryDir dir;
};

// The console on one end of a pty; the test is the controller.
class Form1Test : public ScratchDirTest
{
protected:
    void SetUp() override
    {
        char name[256] = {};
        int slave = -1; // the console opens the device by its name
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        ::close(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        c.emplace(QString::fromLocal8Bit(name), "traffic.log");
        form = c->form.get();
    }

    void TearDown() override
    {
        c.reset();
        if (master >= 0)
            ::close(master);
    }

    // Everything the console has written while Qt's events ran for ms.
    QByteArray written(int ms = 50)
    {
        QTest::qWait(ms);
        QByteArray out(4096, '\0');
        out.resize(std::max<qsizetype>(::read(master, out.data(), out.size()), 0));
        return out;
    }

    void send(const QByteArray &b, int ms = 100)
    {
        ASSERT_EQ(::write(master, b.constData(), static_cast<size_t>(b.size())), b.size());
        written(ms);
    }

    // Transfer of a 100-byte image: X on route 0 section 1, Y on route 1 section 3, Z absent.
    QByteArray transfer()
    {
        writeFile("atctest.bin", QByteArray(100, '\x5A'));
        writeFile(
            "atc.ini",
            " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n");
        form->onTransfer();
        return written();
    }

    int master = -1;
    std::optional<Console> c;
    Form1 *form = nullptr;
};

TEST_F(Form1Test, StartsIdleRefusesAMissingOrOversizedImageAndExitsAtOnce)
{
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(form->Slider1[t]->value(), 128);
        EXPECT_TRUE(form->Label2[t]->text().isEmpty());
        EXPECT_EQ(form->Shape1[t]->heightTwips(), 0);
    }
    EXPECT_FALSE(form->Command7->isEnabled());
    EXPECT_TRUE(form->form3().isVisible());
    // The slider's top is full speed; Stop puts it back at the bottom.
    form->Slider1[1]->setValue(100);
    EXPECT_EQ(c->module.SliderSpeed[1], 28);
    form->Command1[1]->click();
    EXPECT_EQ(c->module.SliderSpeed[1], 0);
    EXPECT_EQ(form->Slider1[1]->value(), 128);
    const std::pair<int, QString> refusals[] = {
        {0, QStringLiteral("テキスト送信 - 指定ファイルが見つかりません。")},
        {19970, QStringLiteral("19,970")}};
    for (const auto &[imageBytes, message] : refusals) {
        if (imageBytes > 0)
            writeFile("atctest.bin", QByteArray(imageBytes, '\x01'));
        form->onTransfer();
        EXPECT_TRUE(!c->messages.empty() && c->messages.back().contains(message)) << imageBytes;
        EXPECT_TRUE(form->Command2->isEnabled());
        EXPECT_FALSE(form->Timer1.isActive());
    }
    EXPECT_EQ(c->messages.size(), 2u);
    form->Command3->click();
    EXPECT_EQ(c->endStatus, 0);
    EXPECT_TRUE(written(100).isEmpty());
}

TEST_F(Form1Test, TransferStartsTheCycleAndResetOrExitEndsItWithOneMoreFrame)
{
    const QByteArray line = transfer();
    ASSERT_EQ(line.size(), 131);
    EXPECT_EQ(line.mid(21, 3), QByteArray::fromHex("FF 00 65"));
    EXPECT_EQ(form->Timer1.interval(), 1000);
    EXPECT_FALSE(form->Command2->isEnabled());
    // One second later the initialisation with the positions from atc.ini: X in route 0 section
    // 1 (behind 0, next 2, after that 3), Y in route 1 section 3 (0B), Z absent.
    form->onTick();
    EXPECT_EQ(written(), QByteArray::fromHex("FF 0C 00 01 01 00 02 02 03 03 0E 0B 0F 0A 10 0C "
                                             "11 0D 1C 80 1D 80 1E 80 1F 80"));
    EXPECT_EQ(form->Timer1.interval(), 1000);
    form->onTick(); // then command frames every 200 ms
    EXPECT_EQ(written(), QByteArray::fromHex("FF 06 03 03 04 00 11 0D 12 00 1F 80 20 00"));
    EXPECT_EQ(form->Timer1.interval(), 200);

    const QByteArray stopX = QByteArray::fromHex("02 02 07 FF"); // after X's, Y's and Z's registers
    form->Command7->click(); // Reset: the cycle ends after the frame with the stop
    EXPECT_TRUE(form->Timer1.isActive());
    form->onTick();
    EXPECT_EQ(written().mid(14), stopX);
    EXPECT_FALSE(form->Timer1.isActive());
    ASSERT_TRUE(form->Command2->isEnabled());
    transfer(); // again: the initialisation goes out again, and no stop after it
    form->onTick();
    EXPECT_EQ(written().size(), 26);
    form->onTick();
    EXPECT_EQ(written().size(), 14);
    // Reset with requests pending and Transfer at once, before the tick that would send the
    // stop: the download restarts the controller, and nothing from before it follows it.
    form->Command4[1]->click();
    c->module.RevState[2] = kRevReady;
    form->Command7->click();
    EXPECT_EQ(transfer().size(), 131);
    EXPECT_EQ(c->module.PointReq[1], 0);
    EXPECT_EQ(c->module.RevState[2], kRevIdle);
    EXPECT_EQ(form->Command4[1]->palette().color(QPalette::Button), toQColor(kButtonFaceColour));
    form->onTick();
    EXPECT_EQ(written().size(), 26);
    form->onTick();
    EXPECT_EQ(written().size(), 14);
    form->Command3->click(); // Exit: the program ends after the frame with the stop
    form->Command3->click();
    EXPECT_EQ(c->endStatus, -1);
    form->onTick();
    EXPECT_EQ(written().mid(14), stopX);
    EXPECT_EQ(c->endStatus, 0);
    EXPECT_FALSE(form->Timer1.isActive());
}

TEST_F(Form1Test, StatusFrameDrivesTheWindowAndEveryFrameReachesLogAndOpenMonitor)
{
    transfer();
    EXPECT_EQ(form->monitor().history().size(), 0u); // nothing is collected while it is closed
    form->showMonitor();
    form->onTick();
    written();
    form->Slider1[0]->setValue(0);
    form->Slider1[1]->setValue(0);
    send(QByteArray(5, '\x01')); // a fragment, handed over alone once the line is quiet
    // X in section 1 at half speed with Y standing in X's next section 2; Z absent. Pieces of
    // one frame a moment apart are joined.
    const QByteArray status = QByteArray::fromHex(
        "01 00 02 00 00 40 00 00  02 01 03 00 00 00 00 00  80 80 80 00 00 00 00 00");
    send(status.left(10), 20);
    send(status.mid(10));
    form->onTick();
    written();
    EXPECT_EQ(form->Label2[0]->text(), QStringLiteral("0 1 2 3"));
    EXPECT_TRUE(form->Label1->text().startsWith(QStringLiteral("1 0 2 0 0 40 0 0 2 1 3 ")));
    EXPECT_EQ(c->module.TargetSpeed[0], 0);
    EXPECT_EQ(c->module.TargetSpeed[1], 128);
    EXPECT_EQ(form->Shape1[0]->heightTwips(), 788);
    form->Command4[1]->click(); // Y's Point request

    const QImage image = form->grab().toImage();
    const auto probe = [&](int xTwips, int yTwips) {
        return image.pixelColor(twipsToPixels(xTwips), twipsToPixels(yTwips));
    };
    const std::uint32_t labelColours[] = {0x8080FF, 0xFFFFC0, 0xC0C0C0}; // stop, clear, absent
    for (int t = 0; t < 3; ++t) {
        const int dx = 1800 * t;
        // The label's background right of its text; the bar grows up from its frame's bottom.
        EXPECT_EQ(probe(1630 + dx, 540), toQColor(labelColours[t])) << t;
        EXPECT_EQ(probe(630 + dx, 3435), t == 0 ? toQColor(0x8080FF) : QColor(Qt::white)) << t;
        EXPECT_EQ(probe(630 + dx, 1980), QColor(Qt::white)) << t;
    }
    // Y's Point request shows as a red button face (the style shades it), X's stays grey.
    const auto redness = [&](int xTwips) {
        return probe(xTwips, 1140).red() - probe(xTwips, 1140).green();
    };
    EXPECT_GT(redness(3060), 40);
    EXPECT_LT(std::abs(redness(1260)), 10);

    std::string shape; // download, initialisation, fragment, status frame, command frame
    for (const TrafficRecord &r : readLog("traffic.log").records)
        shape += (r.direction == Direction::ToController ? "TX" : "RX") +
                 std::to_string(r.bytes.size()) + ' ';
    EXPECT_EQ(shape, "TX131 TX26 RX5 RX24 TX14 ");
    const auto lines = form->monitor().history().lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("TX FF 0C"), std::string::npos);
    EXPECT_NE(lines[1].find("RX 01 01 01 01 01"), std::string::npos);
    EXPECT_NE(lines[2].find("status"), std::string::npos);
    EXPECT_EQ(form->monitor().visibleText().count(QLatin1Char('\n')), 3);
    form->monitor().close();
}

// In the recording and its replays the operator's actions follow the console's n-th command
// frame, not the clock, so that a replay repeats them exactly.
constexpr int kSliderAfter = 3;
constexpr int kStopAfter = 6;
constexpr int kExitAfter = 10;
constexpr int kRecordedSlider = 88; // speed 40
// X on route 0 section 0, Y standing in section 4 (its tail in 3), Z absent.
const char *const kXBehindY =
    " 0 \r\n 0 \r\n 0 \r\n 1 \r\n 0 \r\n 4 \r\n 0 \r\n 1 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n";
// Each train on its own route, X in the middle of section 4.
const char *const kApart =
    " 0 \r\n 4 \r\n 0 \r\n 1 \r\n 1 \r\n 5 \r\n 0 \r\n 1 \r\n 2 \r\n 2 \r\n 1 \r\n 1 \r\n";

// A console after Transfer with the given positions. Given a slider position for X, it plays
// the operator's script right after the frames the console sends: that speed, Stop, Exit.
struct Session : Console
{
    int commandFrames = -1; // the first tick sends the initialisation

    Session(const QString &device, const char *logName, const char *ini, int xSlider = -1)
        : Console(device, logName)
    {
        QObject::connect(&form->Timer1, &QTimer::timeout, form.get(), [this, xSlider] {
            if (++commandFrames == kSliderAfter && xSlider >= 0)
                form->Slider1[0]->setValue(xSlider);
            else if (commandFrames == kStopAfter && xSlider >= 0)
                form->Command1[0]->click();
            else if (commandFrames == kExitAfter && xSlider >= 0)
                form->Command3->click();
        });
        writeFile("atc.ini", ini);
        form->onTransfer();
    }
};

const QString kSim = QStringLiteral(RELM_SIM_BINARY);

// Sections short enough that X passes two of them within seconds.
class ConsoleAgainstSimTest : public ScratchDirTest
{
protected:
    void SetUp() override
    {
        if (::access("/dev/ptmx", R_OK | W_OK) != 0)
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        const std::vector<sim::ImageParameter> parameters{{sim::ImageKey::SectionLengthMm, 300},
                                                          {sim::ImageKey::AccelerationPerS, 128}};
        const std::vector<std::uint8_t> image = sim::buildImage(parameters, "short sections");
        writeFile("atctest.bin", QByteArray(reinterpret_cast<const char *>(image.data()),
                                            static_cast<qsizetype>(image.size())));
        QFile::copy(QStringLiteral(RELM_LAYOUT_DIR "/kukan.dat"), QStringLiteral("kukan.dat"));
    }
};

// A fresh console plays the script with X's slider at xSlider while relm-sim replays the
// recording; relm-sim's exit status and report.
std::pair<int, std::string> replay(int xSlider)
{
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(kSim, {QStringLiteral("--replay"), QStringLiteral("recorded.log")});
    while (sim.waitForStarted() && !sim.canReadLine() && sim.waitForReadyRead(10000)) {
    }
    Session s(QString::fromLocal8Bit(sim.readLine()).trimmed(), "replay.log", kApart, xSlider);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(s.endStatus, 0);
    const bool normal = sim.exitStatus() == QProcess::NormalExit;
    return {normal ? sim.exitCode() : -1, sim.readAllStandardOutput().toStdString()};
}

TEST_F(ConsoleAgainstSimTest, LiveRunStopsXBehindYKeepsItsCycleAndSurvivesALostLine)
{
    // The controller at a fixed link path, so that it can go away and come back as an unplugged
    // adapter does.
    const QStringList arguments{QStringLiteral("--link"), dir.filePath(QStringLiteral("line"))};
    SimulatorProcess sim;
    QString error;
    ASSERT_FALSE(sim.start(kSim, arguments, &error).isEmpty()) << error.toStdString();
    Session s(arguments[1], "live.log", kXBehindY);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.form->Label2[0]->text().isEmpty(); }, 4000));
    const QImage before = s.form->form3().surface().image();
    s.form->Slider1[0]->setValue(0); // X full speed
    // X enters section 2; its next section 3 holds Y's tail, so the console stops it there.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return s.module.PosCode0[0] == 2 && s.module.OutSpeed[0] == 0; }, 10000));
    QTest::qWait(1000); // time to run on, if it were going to
    EXPECT_EQ(s.module.PosCode0[0], 2);
    EXPECT_EQ(s.module.PosCode0[1], 4);
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(s.module.StatusAux[t] & 0x01, 0) << "two trains shared a section";
    EXPECT_NE(s.form->form3().surface().image(), before);

    const std::vector<TimedFrame> sent =
        framesInDirection(readLog("live.log").records, Direction::ToController);
    ASSERT_GT(sent.size(), 20u);
    EXPECT_EQ(sent[0].bytes.size(), QFile(QStringLiteral("atctest.bin")).size() + 31);
    EXPECT_EQ(sent[1].bytes.size(), 26u);
    EXPECT_GT(sent[1].ms - sent[0].ms, 900); // about a second after the download
    EXPECT_GT(sent[2].ms - sent[1].ms, 900); // and another second to the first command
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 3; i < sent.size(); ++i)
        gaps.push_back(sent[i].ms - sent[i - 1].ms);
    std::sort(gaps.begin(), gaps.end());
    EXPECT_GT(gaps[gaps.size() / 2], 150);
    EXPECT_LT(gaps[gaps.size() / 2], 260);

    sim.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.form->lineLost(); }, 3000));
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("RELM - 通信断"));
    const auto linesWhileLost = readLog("live.log").records.size();
    QTest::qWait(1500); // ticks go on; nothing spins or floods the log
    EXPECT_LT(readLog("live.log").records.size(), linesWhileLost + 10);
    ASSERT_FALSE(sim.start(kSim, arguments, &error).isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.form->lineLost(); }, 3000));
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("RELM"));
    const auto linesBack = readLog("live.log").records.size();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return readLog("live.log").records.size() > linesBack; }, 1000));
}

TEST_F(ConsoleAgainstSimTest, ReplayMatchesTheSameActionsAndCatchesAnotherSliderSpeed)
{
    {
        SimulatorProcess sim;
        QString error;
        Session s(sim.start(kSim, {}, &error), "recorded.log", kApart, kRecordedSlider);
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.endStatus == 0; }, 10000))
            << error.toStdString();
    }
    const auto [same, sameReport] = replay(kRecordedSlider);
    EXPECT_EQ(same, 0) << sameReport;
    EXPECT_NE(sameReport.find(" frames matched, 0 differences"), std::string::npos) << sameReport;
    // X ramps to 20 either way; its second step is 40 in the recording and 30 now. That is frame
    // #7 (after the download, the initialisation and four command frames), byte 5 its speed.
    const auto [other, report] = replay(98);
    EXPECT_EQ(other, 1) << report;
    EXPECT_THAT(report,
                testing::ContainsRegex("^frame #7 at [^\n]*\\(first difference at byte 5\\)"));
}

} // namespace
} // namespace relm
