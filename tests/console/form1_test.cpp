// Form1 against a controller the test plays on a pseudo-terminal, and in real time against
// relm-sim: a live run that loses its line for a while, and a recording played back to fresh
// consoles.

#include "console_fixture.h"

#include "console/monitor_window.h"
#include "app/simulator_process.h"
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

const char *const kGoodIni =
    " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n";

TEST_F(Form1Test, StartsIdleRefusesBadFilesSendingNothingAndExitsAtOnce)
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
    // atc.ini is read and checked before anything else: a bad one names the file, the line and
    // the value; then the program image. Each refusal sends nothing and keeps Transfer enabled,
    // so the operator can mend the file and press again.
    struct Refusal
    {
        const char *ini; // nullptr: no atc.ini
        int imageBytes;  // 0: no atctest.bin
        QStringList says;
    };
    const Refusal refusals[] = {
        {nullptr, 100, {QStringLiteral("「atc.ini」を開けません"), QStringLiteral("何も送信していません")}},
        {" 0 \r\n 1 \r\n 0 \r\n 1 \r\n 9 \r\n", 100,
         {QStringLiteral("「atc.ini」 5 行目"), QStringLiteral("値 9"), QStringLiteral("範囲 0〜3")}},
        {" 0 \r\n x1 \r\n", 100, {QStringLiteral("2 行目"), QStringLiteral("「x1」は数値ではありません")}},
        {kGoodIni, 0, {QStringLiteral("テキスト送信 - 指定ファイルが見つかりません。")}},
        {kGoodIni, 19970, {QStringLiteral("19,970")}},
    };
    for (const Refusal &r : refusals) {
        QFile::remove(QStringLiteral("atc.ini"));
        QFile::remove(QStringLiteral("atctest.bin"));
        if (r.ini != nullptr)
            writeFile("atc.ini", r.ini);
        if (r.imageBytes > 0)
            writeFile("atctest.bin", QByteArray(r.imageBytes, '\x01'));
        const auto before = c->messages.size();
        form->Command2->click();
        ASSERT_EQ(c->messages.size(), before + 1) << r.imageBytes;
        for (const QString &part : r.says)
            EXPECT_TRUE(c->messages.back().contains(part)) << c->messages.back().toStdString();
        EXPECT_TRUE(form->Command2->isEnabled());
        EXPECT_FALSE(c->console.Timer1.isActive());
        EXPECT_TRUE(written(20).isEmpty());
    }
    form->Command3->click();
    EXPECT_EQ(c->endStatus, 0);
    EXPECT_TRUE(written(100).isEmpty());
}

TEST_F(Form1Test, TransferStartsTheCycleAndResetOrExitEndsItWithOneMoreFrame)
{
    const QByteArray line = transfer();
    ASSERT_EQ(line.size(), 131);
    EXPECT_EQ(line.mid(21, 3), QByteArray::fromHex("FF 00 65"));
    EXPECT_EQ(c->console.Timer1.interval(), 1000);
    EXPECT_FALSE(form->Command2->isEnabled());
    // One second later the initialisation with the positions from atc.ini: X in route 0 section
    // 1 (behind 0, next 2, after that 3), Y in route 1 section 3 (0B), Z absent.
    c->console.onTick();
    EXPECT_EQ(written(), QByteArray::fromHex("FF 0C 00 01 01 00 02 02 03 03 0E 0B 0F 0A 10 0C "
                                             "11 0D 1C 80 1D 80 1E 80 1F 80"));
    EXPECT_EQ(c->console.Timer1.interval(), 1000);
    c->console.onTick(); // then command frames every 200 ms
    EXPECT_EQ(written(), QByteArray::fromHex("FF 06 03 03 04 00 11 0D 12 00 1F 80 20 00"));
    EXPECT_EQ(c->console.Timer1.interval(), 200);

    const QByteArray stopX = QByteArray::fromHex("02 02 07 FF"); // after X's, Y's and Z's registers
    form->Command7->click(); // Reset: the cycle ends after the frame with the stop
    EXPECT_TRUE(c->console.Timer1.isActive());
    c->console.onTick();
    EXPECT_EQ(written().mid(14), stopX);
    EXPECT_FALSE(c->console.Timer1.isActive());
    ASSERT_TRUE(form->Command2->isEnabled());
    transfer(); // again: the initialisation goes out again, and no stop after it
    c->console.onTick();
    EXPECT_EQ(written().size(), 26);
    c->console.onTick();
    EXPECT_EQ(written().size(), 14);
    // Reset with requests pending and Transfer at once, before the tick that would send the
    // stop: that stop frame goes out first, as the tick would have sent it (it used to be
    // dropped), then the download; nothing from before the download follows it, and the trains
    // start again from standstill.
    form->Command4[1]->click();
    c->module.RevState[2] = kRevReady;
    c->module.PointBlocked[0] = kTrue;
    c->module.OutSpeed[1] = c->module.TargetSpeed[1] = 128;
    form->Command7->click();
    EXPECT_FALSE(form->Command7->isEnabled());
    const QByteArray stopThenDownload = transfer();
    ASSERT_EQ(stopThenDownload.size(), 26 + 131);
    EXPECT_EQ(stopThenDownload.left(2), QByteArray::fromHex("FF 0C"));
    EXPECT_EQ(stopThenDownload.mid(14, 4), stopX);
    EXPECT_EQ(stopThenDownload.mid(26 + 21, 3), QByteArray::fromHex("FF 00 65"));
    EXPECT_EQ(c->module.PointReq[1], 0);
    EXPECT_EQ(c->module.PointBlocked[0], 0);
    EXPECT_EQ(c->module.RevState[2], kRevIdle);
    EXPECT_EQ(c->module.OutSpeed[1], 0);
    EXPECT_EQ(form->Command4[1]->backColour(), kButtonFaceColour);
    c->console.onTick();
    EXPECT_EQ(written().size(), 26);
    c->console.onTick();
    const QByteArray firstCommand = written();
    ASSERT_EQ(firstCommand.size(), 14);
    EXPECT_EQ(firstCommand[9], 0) << "Y starts from standstill, not at its old speed";
    form->Command3->click(); // Exit: the program ends after the frame with the stop
    form->Command3->click();
    EXPECT_EQ(c->endStatus, -1);
    // Transfer while Exit waits for its frame (Reset pressed too, so its button allows it) is
    // refused: nothing is written, and the stop still goes out with the next tick.
    form->Command7->click();
    ASSERT_TRUE(form->Command2->isEnabled());
    form->Command2->click();
    EXPECT_TRUE(written().isEmpty());
    c->console.onTick();
    EXPECT_EQ(written().mid(14), stopX);
    EXPECT_EQ(c->endStatus, 0);
    EXPECT_FALSE(c->console.Timer1.isActive());
}

TEST_F(Form1Test, StatusFrameDrivesTheWindowAndEveryFrameReachesLogAndOpenMonitor)
{
    // X on route 0 section 1, Y two sections on (section 3), Z absent.
    transfer(" 0 \r\n 1 \r\n 0 \r\n 1 \r\n 0 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n");
    EXPECT_EQ(form->monitor().history().size(), 0u); // nothing is collected while it is closed
    form->showMonitor();
    c->console.onTick();
    written();
    form->Slider1[0]->setValue(0);
    form->Slider1[1]->setValue(0);
    send(QByteArray(5, '\x01')); // a fragment, handed over alone once the line is quiet
    // X in section 1 at half speed with Y standing with its tail in X's next section 2; Z
    // absent. Pieces of one frame a moment apart are joined.
    const QByteArray status = QByteArray::fromHex(
        "01 00 02 00 00 40 00 00  03 02 04 00 00 00 00 00  80 80 80 00 00 00 00 00");
    send(status.left(10), 20);
    send(status.mid(10));
    c->console.onTick();
    written();
    EXPECT_EQ(form->Label2[0]->text(), QStringLiteral("0 1 2 3"));
    EXPECT_TRUE(form->Label1->text().startsWith(QStringLiteral("1 0 2 0 0 40 0 0 3 2 4 ")));
    EXPECT_EQ(c->module.TargetSpeed[0], 0);
    EXPECT_EQ(c->module.TargetSpeed[1], 128);
    EXPECT_EQ(form->Shape1[0]->heightTwips(), 788);
    form->Command4[1]->click(); // Y's Point request

    QImage image = form->grab().toImage();
    const auto probe = [&](int xTwips, int yTwips) {
        return image.pixelColor(twipsToPixels(xTwips), twipsToPixels(yTwips));
    };
    // What the operator sees, as colour values: stop, clear, absent.
    const QColor lightRed(255, 128, 128), lightCyan(192, 255, 255), grey(192, 192, 192);
    const QColor labelColours[] = {lightRed, lightCyan, grey};
    for (int t = 0; t < 3; ++t) {
        const int dx = 1800 * t;
        // The label's background right of its text; the bar grows up from its frame's bottom.
        EXPECT_EQ(probe(1630 + dx, 540), labelColours[t]) << t;
        EXPECT_EQ(probe(630 + dx, 3435), t == 0 ? lightRed : QColor(Qt::white)) << t;
        EXPECT_EQ(probe(630 + dx, 1980), QColor(Qt::white)) << t;
    }
    // Y's Point request fills its button solid light red inside the frame, the style's shading
    // notwithstanding; X's stays the style's face.
    for (const auto &[x, y] : {std::pair{3060, 1140}, std::pair{3420, 1140}, std::pair{3060, 1500},
                               std::pair{3420, 1500}})
        EXPECT_EQ(probe(x, y), lightRed) << x << "," << y;
    EXPECT_LT(std::abs(probe(1260, 1140).red() - probe(1260, 1140).green()), 10);

    // Y reported far above full scale: its bar reaches past the top of its frame, but beneath the
    // Reverse button and the status label, never over them.
    const QColor reverseFace = probe(1800 + 540, 1140);
    send(QByteArray::fromHex(
        "01 00 02 00 00 40 00 00  03 02 04 00 00 FF 00 00  80 80 80 00 00 00 00 00"));
    EXPECT_EQ(form->Shape1[1]->topTwips(), 3495 - 3138);
    image = form->grab().toImage();
    EXPECT_EQ(probe(1800 + 630, 1700), lightRed) << "the bar above its frame";
    EXPECT_EQ(probe(1800 + 540, 1140), reverseFace);
    EXPECT_EQ(probe(1800 + 530, 840), lightCyan);
    EXPECT_EQ(probe(1800 + 630, 1980), lightRed);

    std::string shape; // download, initialisation, fragment, status frame, command frame
    for (const TrafficRecord &r : readLog("traffic.log").records)
        shape += (r.direction == Direction::ToController ? "TX" : "RX") +
                 std::to_string(r.bytes.size()) + ' ';
    EXPECT_EQ(shape, "TX131 TX26 RX5 RX24 TX14 RX24 ");
    // The fragment is noted as a block that is no whole frame, between the frames.
    const auto lines = form->monitor().history().lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[0].find("TX FF 0C"), std::string::npos);
    EXPECT_NE(lines[1].find("RX 01 01 01 01 01"), std::string::npos);
    EXPECT_NE(lines[2].find("NOTE 受信異常: 5 バイト"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("status"), std::string::npos);
    EXPECT_EQ(form->monitor().visibleText().count(QLatin1Char('\n')), 5);
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
struct Session : Desk
{
    int commandFrames = -1; // the first tick sends the initialisation

    Session(const QString &device, const char *logName, const char *ini, int xSlider = -1)
        : Desk(device, logName)
    {
        QObject::connect(&console.Timer1, &QTimer::timeout, form.get(), [this, xSlider] {
            if (++commandFrames == kSliderAfter && xSlider >= 0)
                form->Slider1[0]->setValue(xSlider);
            else if (commandFrames == kStopAfter && xSlider >= 0)
                form->Command1[0]->click();
            else if (commandFrames == kExitAfter && xSlider >= 0)
                form->Command3->click();
        });
        writeFile("atc.ini", ini);
        console.transfer();
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return s.console.display().lineLost; }, 3000));
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("RELM - 通信断"));
    const auto linesWhileLost = readLog("live.log").records.size();
    QTest::qWait(1500); // ticks go on; nothing spins or floods the log
    EXPECT_LT(readLog("live.log").records.size(), linesWhileLost + 10);
    ASSERT_FALSE(sim.start(kSim, arguments, &error).isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !s.console.display().lineLost; }, 3000));
    // The line is back, but the controller that came back has no program and reports nothing
    // (it said "RELM" here before the console watched the reports): the trains stay held.
    EXPECT_EQ(s.form->windowTitle(), QStringLiteral("RELM - 報告途絶"));
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
