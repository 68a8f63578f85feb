// What the operator meets when things go wrong around a Transfer, and the windows' own keys:
// a download cut short by a lost line, its progress in the caption, the map window brought back,
// and a port that another program holds.

#include "console_fixture.h"

#include "console/monitor_window.h"
#include "map/form3.h"
#include "widgets/ui_units.h"

#include <QSerialPort>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace relm {
namespace {

constexpr int kLargestImage = 19969; // the largest image whose frame fits the transmit buffer

TEST_F(Form1Test, ADownloadCutShortIsReportedAndStartsNothingAndProgressShowsInTheCaption)
{
    writeFile("atctest.bin", QByteArray(kLargestImage, '\x5A'));
    writeFile("atc.ini", " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n 0 \r\n");
    form->Command2->click();
    // The controller side reads a part of the frame and then nothing: the rest stays queued.
    ASSERT_GT(written(100).size(), 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->windowTitle().startsWith(QStringLiteral("RELM - 送信中 ")); }, 2000));
    EXPECT_TRUE(form->windowTitle().endsWith(QStringLiteral(" / 20,000 バイト)")))
        << form->windowTitle().toStdString();
    EXPECT_FALSE(form->Command2->isEnabled());
    EXPECT_TRUE(c->messages.empty());

    pty->close(); // the line goes away in the middle of the download
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c->messages.empty(); }, 3000));
    EXPECT_TRUE(c->messages.back().contains(QStringLiteral("転送が完了しませんでした")))
        << c->messages.back().toStdString();
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Command7->isEnabled());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM - 通信断"));
    QTest::qWait(1200); // the moment the initialisation would have been due
    EXPECT_FALSE(c->console.Timer1.isActive());
    EXPECT_EQ(c->module.InitSent, kFalse);
    EXPECT_EQ(c->module.PosCode0[0], 0) << "the trains were placed although nothing was started";
}

// Reset and Transfer at once: the cycle still runs when the download starts. Its ticks stop
// before the first byte of the download, so that nothing follows the download but the
// initialisation a second after it has left.
TEST_F(Form1Test, NoTickGoesOutWhileADownloadLeavesThePort)
{
    transfer();
    c->console.onTick();
    c->console.onTick();
    written();
    form->Command7->click();
    ASSERT_TRUE(c->console.Timer1.isActive()) << "the stop waits for the next tick";
    writeFile("atctest.bin", QByteArray(kLargestImage, '\x5A'));
    c->console.transfer();
    ASSERT_TRUE(c->console.display().downloading);
    // The controller reads nothing for longer than three tick periods.
    QTest::qWait(700);
    EXPECT_FALSE(c->console.Timer1.isActive());
    QByteArray line;
    for (int i = 0; i < 200 && c->console.display().downloading; ++i) {
        line += written(20);
        if (c->console.display().downloading) {
            EXPECT_FALSE(c->console.Timer1.isActive()) << "a tick could fire into the download";
        }
    }
    ASSERT_FALSE(c->console.display().downloading);
    // What the port handed on but the controller has not read yet; the initialisation is still
    // most of a second away.
    for (QByteArray more = written(20); !more.isEmpty(); more = written(20))
        line += more;
    ASSERT_GE(line.size(), 2);
    const qsizetype stopFrame = 2 + 2 * static_cast<quint8>(line[1]);
    EXPECT_EQ(line.mid(stopFrame - 2, 2), QByteArray::fromHex("07 FF")) << "X's stop command";
    EXPECT_EQ(line.size() - stopFrame, 20000) << "the download frame and nothing after it";
    EXPECT_TRUE(c->console.Timer1.isActive());
    EXPECT_EQ(c->console.Timer1.interval(), 1000);
}

// The line goes and comes back before the download's next look at the port: the controller
// missed part of the program all the same, so the download fails. The next download, on a good
// line, is not failed by that old loss.
TEST_F(Form1Test, ALineLostInADownloadFailsThatDownloadOnlyEvenIfItIsBackAtOnce)
{
    writeFile("atctest.bin", QByteArray(kLargestImage, '\x5A'));
    writeFile("atc.ini", kApartIni);
    c->console.transfer();
    ASSERT_GT(written(50).size(), 0);
    ASSERT_TRUE(c->console.display().downloading);
    c->console.onLineLost();
    c->console.onReopen(); // the device is there again
    ASSERT_FALSE(c->console.display().lineLost);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c->messages.empty(); }, 3000))
        << "the download was taken as complete";
    EXPECT_TRUE(c->messages.back().contains(QStringLiteral("転送が完了しませんでした")))
        << c->messages.back().toStdString();
    EXPECT_FALSE(c->console.display().downloading);
    EXPECT_FALSE(c->console.Timer1.isActive());
    EXPECT_EQ(c->module.InitSent, kFalse);
    while (!written(100).isEmpty()) {
        // what was queued of the failed frame still leaves the port
    }

    const auto messages = c->messages.size();
    transfer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !c->console.display().downloading; }, 2000));
    EXPECT_EQ(c->messages.size(), messages) << c->messages.back().toStdString();
    EXPECT_TRUE(c->console.Timer1.isActive());
    EXPECT_EQ(c->console.display().label1, QStringLiteral("データ送り終了"));
}

TEST_F(Form1Test, ACompleteDownloadPutsTheCaptionBack)
{
    transfer();
    ASSERT_TRUE(c->console.Timer1.isActive());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM"));
}

TEST_F(Form1Test, F3BringsTheClosedMapWindowBackAtAnyTime)
{
    for (const bool running : {false, true}) {
        if (running)
            transfer();
        form->form3().close();
        ASSERT_FALSE(form->form3().isVisible());
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_F3);
        EXPECT_TRUE(form->form3().isVisible()) << running;
    }
}

TEST_F(Form1Test, APortHeldByAnotherProgramIsNamedAsSuch)
{
    // The console holds the device now; a second console is the other program's view of it.
    Module1 module;
    Console second(module, device);
    QString reason;
    EXPECT_FALSE(second.start(&reason));
    EXPECT_TRUE(reason.contains(QStringLiteral("は他のプログラムが使用中です"))) << reason.toStdString();
    EXPECT_FALSE(reason.contains(QStringLiteral("Permission"))) << reason.toStdString();

    Console missing(module, QStringLiteral("/dev/relm-no-such-device"));
    EXPECT_FALSE(missing.start(&reason));
    EXPECT_TRUE(reason.contains(QStringLiteral("が見つかりません"))) << reason.toStdString();
}

// Commands that reach the console another way (the remote panel) show in the window as if its
// own controls had been used.
TEST_F(Form1Test, TheWindowFollowsCommandsGivenElsewhere)
{
    c->console.requestSpeed(1, 100);
    EXPECT_EQ(form->Slider1[1]->value(), 28);
    EXPECT_EQ(c->module.SliderSpeed[1], 100);
    c->console.point(2);
    EXPECT_EQ(form->Command4[2]->backColour(), 0x8080FFu);
    c->console.stop(1);
    EXPECT_EQ(form->Slider1[1]->value(), 128);
    transfer();
    EXPECT_FALSE(form->Command2->isEnabled());
    c->console.reset();
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Command7->isEnabled());
}

// A report that puts X where it cannot be: the operator sees it at once in the caption, X's
// status label and the traffic monitor; X is held at 0 until plausible reports come again.
TEST_F(Form1Test, AnImplausibleReportShowsAtOnceAndHoldsTheTrainUntilReportsArePlausibleAgain)
{
    transfer();
    c->console.onTick(); // the initialisation: X in 01 (behind 00, next 02), Y in 0B, Z absent
    written();
    form->showMonitor();
    form->Slider1[0]->setValue(0);
    const QByteArray plausible = QByteArray::fromHex(
        "01 00 02 00 00 00 00 00  0B 0A 0C 00 00 00 00 00  80 80 80 00 00 00 00 00");
    send(plausible);
    EXPECT_EQ(c->module.TargetSpeed[0], 128);

    send(QByteArray::fromHex(
        "15 14 16 00 00 00 00 00  0B 0A 0C 00 00 00 00 00  80 80 80 00 00 00 00 00"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM - 在線異常"));
    EXPECT_EQ(form->Label2[0]->text(), QStringLiteral("在線異常"));
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.pixelColor(twipsToPixels(1630), twipsToPixels(540)), QColor(255, 128, 255));
    EXPECT_EQ(c->module.PosCode0[0], 0x01) << "the implausible record is not taken";
    EXPECT_EQ(c->module.TargetSpeed[0], 0);
    const auto lines = form->monitor().history().lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string &l) {
        return l.find("NOTE 在線異常") != std::string::npos;
    }));

    for (int i = 0; i < 5; ++i) // half a second of plausible reports
        send(plausible);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM"));
    EXPECT_EQ(form->Label2[0]->text(), QStringLiteral("0 1 2 3"));
    EXPECT_EQ(c->module.TargetSpeed[0], 128);
}

} // namespace
} // namespace relm
