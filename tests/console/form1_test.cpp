#include "console/form1.h"

#include "console/monitor_window.h"
#include "map/form3.h"
#include "traffic/traffic_log.h"
#include "pty_pair.h"
#include "widgets/rect_shape.h"
#include "widgets/ui_units.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>

namespace relm {
namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (const int v : values)
        b.append(static_cast<char>(v));
    return b;
}

// A status frame with every train's own/behind/next and reported speed.
QByteArray statusFrame(std::array<std::array<int, 4>, 3> trains)
{
    QByteArray b(24, '\0');
    for (int t = 0; t < 3; ++t) {
        b[8 * t + 0] = static_cast<char>(trains[t][0]);
        b[8 * t + 1] = static_cast<char>(trains[t][1]);
        b[8 * t + 2] = static_cast<char>(trains[t][2]);
        b[8 * t + 5] = static_cast<char>(trains[t][3]);
    }
    return b;
}

// The console in a scratch directory on one end of a pty, with message boxes and the program's
// end recorded instead of shown or carried out.
class Form1Test : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!pty.ok())
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        form = std::make_unique<Form1>(module, pty.deviceName());
        form->setMessageReporter(
            [this](const QString &, const QString &text) { messages.push_back(text); });
        form->setProgramEnder([this](int status) { endStatus = status; });
        QString error;
        ASSERT_TRUE(form->load(&error)) << error.toStdString();
        form->form3().setFailureReporter([](const QString &, const QString &) {});
    }

    void TearDown() override
    {
        form.reset();
        if (!previous.isEmpty())
            QDir::setCurrent(previous);
    }

    void writeFile(const char *name, const QByteArray &content)
    {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    // Transfer with an image and an atc.ini in place; returns what reached the line.
    QByteArray transfer(int imageBytes = 100)
    {
        writeFile("atctest.bin", QByteArray(imageBytes, '\x5A'));
        writeFile("atc.ini", " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n"
                             " 2 \r\n 5 \r\n 0 \r\n 0 \r\n");
        form->onTransfer();
        return pty.readWritten();
    }

    PtyPair pty;
    QTemporaryDir dir;
    QString previous;
    Module1 module;
    std::unique_ptr<Form1> form;
    std::vector<QString> messages;
    int endStatus = -1;
};

TEST_F(Form1Test, StartsIdleWithEmptyDisplaysAndWritesNothing)
{
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(form->Slider1[t]->value(), 128);
        EXPECT_TRUE(form->Label2[t]->text().isEmpty());
        EXPECT_EQ(form->Shape1[t]->heightTwips(), 0);
        EXPECT_EQ(form->Shape1[t]->topTwips(), 3495);
        EXPECT_EQ(module.SliderSpeed[t], 0);
    }
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Command7->isEnabled());
    EXPECT_FALSE(form->Timer1.isActive());
    EXPECT_EQ(form->Timer1.interval(), 200);
    EXPECT_TRUE(form->Label1->isHidden());
    EXPECT_TRUE(form->Label3->isHidden());
    EXPECT_EQ(module.TrainColour[0], 0x0000FF);
    EXPECT_EQ(module.MapBackColour, 0xFFFFC0);
    EXPECT_TRUE(form->form3().isVisible());
    // The slider's top is full speed; Stop puts it back at the bottom.
    form->Slider1[1]->setValue(100);
    EXPECT_EQ(module.SliderSpeed[1], 28);
    form->Command1[1]->click();
    EXPECT_EQ(module.SliderSpeed[1], 0);
    EXPECT_EQ(form->Slider1[1]->value(), 128);
    EXPECT_TRUE(pty.readWritten(100).isEmpty());
}

// Probes the rendered window at twips positions.
QColor probe(const QImage &image, int xTwips, int yTwips)
{
    return image.pixelColor(twipsToPixels(xTwips), twipsToPixels(yTwips));
}

TEST_F(Form1Test, RenderedWindowShowsBarsLabelsAndButtonColoursWhereTheyBelong)
{
    form->Command4[1]->click();
    transfer();
    pty.send(statusFrame({{{1, 0, 2, 128}, {11, 10, 12, 0}, {128, 128, 128, 0}}}));
    pty.readWritten(100);
    const QImage image = form->grab().toImage();
    for (int t = 0; t < 3; ++t) {
        const int dx = 1800 * t;
        // Inside the bar's frame, near its top: filled for X at full speed, white for the others.
        EXPECT_EQ(probe(image, 480 + dx + 150, 1920 + 60), t == 0 ? toQColor(0x8080FF) : QColor(Qt::white))
            << t;
        // The status label's background, right of its text.
        const std::uint32_t status = t == 2 ? 0xC0C0C0 : 0xFFFFC0;
        EXPECT_EQ(probe(image, 480 + dx + 1150, 480 + 60), toQColor(status)) << t;
    }
    // Y's Point request shows as a red button face (the style shades it), X's stays grey.
    const auto redness = [](QColor c) { return c.red() - c.green(); };
    EXPECT_GT(redness(probe(image, 3000 + 60, 1080 + 60)), 40);
    EXPECT_LT(std::abs(redness(probe(image, 1200 + 60, 1080 + 60))), 10);
}

TEST_F(Form1Test, ExitBeforeTransferEndsAtOnceAndSendsNothing)
{
    form->Command3->click();
    EXPECT_EQ(endStatus, 0);
    EXPECT_TRUE(pty.readWritten(100).isEmpty());
}

TEST_F(Form1Test, MissingImageBeepsShowsTheMessageAndSendsNothing)
{
    form->onTransfer();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("テキスト送信 - 指定ファイルが見つかりません。"));
    EXPECT_TRUE(pty.readWritten(100).isEmpty());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Timer1.isActive());
}

TEST_F(Form1Test, OversizedImageIsRefusedAndNothingChanges)
{
    writeFile("atctest.bin", QByteArray(19970, '\x01'));
    form->onTransfer();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("19970")) ||
                messages[0].contains(QStringLiteral("19,970")));
    EXPECT_TRUE(pty.readWritten(100).isEmpty());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Timer1.isActive());
}

TEST_F(Form1Test, TransferSendsTheImageLoadsPositionsAndStartsTheCycle)
{
    const QByteArray line = transfer(100);
    ASSERT_EQ(line.size(), 131);
    EXPECT_EQ(line.mid(21, 3), bytes({0xFF, 0x00, 0x65}));
    EXPECT_EQ(form->Label1->text(), QStringLiteral("データ送り終了"));
    EXPECT_TRUE(form->Timer1.isActive());
    EXPECT_EQ(form->Timer1.interval(), 1000);
    EXPECT_FALSE(form->Command2->isEnabled());
    EXPECT_TRUE(form->Command7->isEnabled());
    // X on route 0 section 1 forward, Y on route 1 section 3 forward, Z absent.
    EXPECT_EQ(module.PosCode0[0], 1);
    EXPECT_EQ(module.PosCode0[1], 11);
    EXPECT_EQ(module.PosCode0[2], 128);

    form->onTick(); // one second later: the initialisation frame
    const QByteArray init = pty.readWritten();
    ASSERT_EQ(init.size(), 26);
    EXPECT_EQ(init.left(6), bytes({0xFF, 0x0C, 0x00, 0x01, 0x01, 0x00}));
    EXPECT_EQ(form->Timer1.interval(), 1000);
    form->onTick(); // then command frames every 200 ms
    EXPECT_EQ(pty.readWritten(), bytes({0xFF, 6, 3, 3, 4, 0, 17, 13, 18, 0, 31, 128, 32, 0}));
    EXPECT_EQ(form->Timer1.interval(), 200);
}

TEST_F(Form1Test, StatusFrameUpdatesLabelsBarsAndStopsATrainBehindAnother)
{
    transfer();
    form->onTick();
    pty.readWritten();
    form->Slider1[0]->setValue(0);
    form->Slider1[1]->setValue(0);
    // X in section 1 with Y standing in X's next section 2.
    pty.send(statusFrame({{{1, 0, 2, 64}, {2, 1, 3, 0}, {128, 128, 128, 0}}}));
    pty.readWritten(100);
    EXPECT_EQ(form->Label2[0]->text(), QStringLiteral("0 1 2 3"));
    EXPECT_EQ(form->Label2[0]->palette().color(QPalette::Window), toQColor(0x8080FF));
    EXPECT_EQ(module.TargetSpeed[0], 0);
    EXPECT_EQ(module.TargetSpeed[1], 128);
    EXPECT_EQ(form->Label2[2]->palette().color(QPalette::Window), toQColor(0xC0C0C0));
    EXPECT_EQ(form->Shape1[0]->heightTwips(), 788);
    EXPECT_EQ(form->Shape1[0]->topTwips(), 1920 + 1575 - 788);
    EXPECT_TRUE(form->Label1->text().startsWith(QStringLiteral("1 0 2 0 0 40 0 0 2 1 3 ")));
}

TEST_F(Form1Test, ResetSendsOneMoreFrameWithTheStopAndStopsTheCycle)
{
    transfer();
    form->onTick();
    pty.readWritten();
    form->Command7->click();
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Command7->isEnabled());
    EXPECT_TRUE(form->Timer1.isActive());
    form->onTick();
    const QByteArray last = pty.readWritten();
    ASSERT_EQ(last.size(), 18);
    EXPECT_EQ(last.mid(14), bytes({2, 2, 7, 255}));
    EXPECT_FALSE(form->Timer1.isActive());
    EXPECT_EQ(endStatus, -1); // the program stays open
}

TEST_F(Form1Test, ExitWhileRunningEndsAfterTheFrameCarryingTheStop)
{
    transfer();
    form->onTick();
    pty.readWritten();
    form->Command3->click();
    form->Command3->click(); // a second press changes nothing
    EXPECT_EQ(endStatus, -1);
    form->onTick();
    const QByteArray last = pty.readWritten();
    EXPECT_EQ(last.right(2), bytes({7, 255}));
    EXPECT_EQ(endStatus, 0);
}

TEST_F(Form1Test, TrafficLogHoldsEveryFrameInBothDirections)
{
    QString error;
    ASSERT_TRUE(form->setTrafficLog(dir.filePath(QStringLiteral("traffic.log")), &error));
    transfer();
    form->onTick();
    pty.send(statusFrame({{{1, 0, 2, 0}, {11, 10, 12, 0}, {128, 128, 128, 0}}}));
    pty.readWritten(100);
    form->onTick();
    pty.readWritten();

    std::ifstream in(dir.filePath(QStringLiteral("traffic.log")).toStdString());
    const TrafficLog log = readTrafficLog(in);
    EXPECT_TRUE(log.errors.empty());
    ASSERT_EQ(log.records.size(), 4u);
    EXPECT_EQ(log.records[0].bytes.size(), 131u); // the download frame
    EXPECT_EQ(log.records[1].bytes.size(), 26u);  // the initialisation frame
    EXPECT_EQ(log.records[2].direction, Direction::FromController);
    EXPECT_EQ(log.records[2].bytes.size(), 24u);
    EXPECT_EQ(log.records[3].bytes[0], 0xFF);
    for (std::size_t i = 1; i < log.records.size(); ++i)
        EXPECT_GE(log.records[i].ms, log.records[i - 1].ms);
}

TEST_F(Form1Test, MonitorCollectsNothingWhileClosedAndDecodesOnceOpen)
{
    transfer();
    EXPECT_EQ(form->monitor().history().size(), 0u);
    form->showMonitor();
    form->onTick();
    pty.readWritten();
    pty.send(QByteArray(5, '\x01'));
    pty.readWritten(50);
    pty.send(statusFrame({{{1, 0, 2, 40}, {11, 10, 12, 0}, {128, 128, 128, 0}}}));
    pty.readWritten(100);
    const auto lines = form->monitor().history().lines();
    ASSERT_EQ(lines.size(), 2u); // a short read does not reach the handler on its own
    EXPECT_NE(lines[0].find("TX FF 0C"), std::string::npos);
    EXPECT_NE(lines[0].find("init"), std::string::npos);
    EXPECT_NE(lines[1].find("RX 01 01 01 01 01 01"), std::string::npos);
    EXPECT_TRUE(form->monitor().visibleText().contains(QStringLiteral("status")));
    form->monitor().close();
}

} // namespace
} // namespace relm
