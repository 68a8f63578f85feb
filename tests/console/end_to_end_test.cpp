// The console against the simulated controller over a pseudo-terminal, in real time.

#include "console/form1.h"
#include "console/simulator_process.h"
#include "map/form3.h"
#include "traffic/traffic_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

namespace relm {
namespace {

// Runs the event loop until done() or the time is up; true when done.
bool runUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

class EndToEndTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        for (const char *name : {"atctest.bin", "kukan.dat"}) {
            const QString file = QString::fromLatin1(name);
            ASSERT_TRUE(QFile::copy(QStringLiteral(RELM_LAYOUT_DIR "/") + file, dir.filePath(file)))
                << name;
        }
        QString error;
        device = simulator.start(QStringLiteral(RELM_SIM_BINARY), {}, &error);
        if (device.isEmpty())
            GTEST_SKIP() << "relm-sim could not serve a pseudo-terminal: " << error.toStdString();
    }

    void TearDown() override
    {
        if (HasFailure()) {
            QFile f(dir.filePath(QStringLiteral("traffic.log")));
            if (f.open(QIODevice::ReadOnly))
                std::fprintf(stderr, "traffic:\n%s\n", f.readAll().right(3000).constData());
        }
        form.reset();
        simulator.stop();
        QDir::setCurrent(previous);
    }

    void start(const char *atcIni)
    {
        QFile f(dir.filePath(QStringLiteral("atc.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(atcIni);
        f.close();
        form = std::make_unique<Form1>(module, device);
        form->setMessageReporter([](const QString &, const QString &text) {
            ADD_FAILURE() << text.toStdString();
        });
        form->setProgramEnder([](int) {});
        QString error;
        ASSERT_TRUE(form->setTrafficLog(dir.filePath(QStringLiteral("traffic.log")), &error));
        ASSERT_TRUE(form->load(&error)) << error.toStdString();
        form->form3().setFailureReporter([](const QString &, const QString &) {});
        form->onTransfer();
    }

    TrafficLog log()
    {
        std::ifstream in(dir.filePath(QStringLiteral("traffic.log")).toStdString());
        return readTrafficLog(in);
    }

    QTemporaryDir dir;
    QString previous;
    SimulatorProcess simulator;
    QString device;
    Module1 module;
    std::unique_ptr<Form1> form;
};

// X on route 0 section 0 and Y standing three sections ahead of it (its tail in section 2);
// Z absent.
const char *const kXBehindY = " 0 \r\n 0 \r\n 0 \r\n 1 \r\n 0 \r\n 3 \r\n 0 \r\n 1 \r\n"
                              " 0 \r\n 0 \r\n 0 \r\n 0 \r\n";

TEST_F(EndToEndTest, DownloadThenInitialisationThenCommandFramesEvery200Ms)
{
    start(kXBehindY);
    const auto sentCount = [&] {
        const TrafficLog l = log();
        return std::count_if(l.records.begin(), l.records.end(), [](const TrafficRecord &r) {
            return r.direction == Direction::ToController;
        });
    };
    ASSERT_TRUE(runUntil([&] { return sentCount() >= 12; }, 8000));
    const TrafficLog traffic = log();
    std::vector<TrafficRecord> sent;
    for (const TrafficRecord &r : traffic.records)
        if (r.direction == Direction::ToController)
            sent.push_back(r);
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent[0].bytes.size(), 81u + 31u);        // the download frame
    EXPECT_EQ(sent[1].bytes.size(), 26u);              // the initialisation frame
    EXPECT_EQ(sent[2].bytes.size(), 14u);              // the first command frame
    EXPECT_GT(sent[1].ms - sent[0].ms, 900);           // about a second after the download
    EXPECT_GT(sent[2].ms - sent[1].ms, 900);           // and another second to the first command
    std::vector<std::int64_t> gaps;
    for (std::size_t i = 3; i < sent.size(); ++i)
        gaps.push_back(sent[i].ms - sent[i - 1].ms);
    std::sort(gaps.begin(), gaps.end());
    const std::int64_t median = gaps[gaps.size() / 2];
    EXPECT_GT(median, 150);
    EXPECT_LT(median, 260);
    // Status frames come back once the controller runs the image.
    EXPECT_TRUE(std::any_of(traffic.records.begin(), traffic.records.end(), [](const auto &r) {
        return r.direction == Direction::FromController && r.bytes.size() >= 23;
    }));
}

TEST_F(EndToEndTest, ATrainGivenSpeedMovesAndStopsBehindTheTrainAhead)
{
    start(kXBehindY);
    ASSERT_TRUE(runUntil([&] { return module.InitSent != 0 && !form->Label2[0]->text().isEmpty(); },
                         4000));
    const QImage before = form->form3().surface().image();
    form->Slider1[0]->setValue(0); // X full speed
    // X enters section 1; its next section 2 holds Y's tail, so the console stops it there.
    ASSERT_TRUE(runUntil([&] { return module.PosCode0[0] == 1; }, 15000));
    EXPECT_EQ(form->Label2[0]->text().split(QLatin1Char(' ')).at(1), QStringLiteral("1"));
    ASSERT_TRUE(runUntil([&] { return module.TargetSpeed[0] == 0 && module.OutSpeed[0] == 0; }, 3000));
    // Give it time to run on if it were going to; it must never enter Y's section.
    runUntil([] { return false; }, 4000);
    EXPECT_EQ(module.PosCode0[0], 1);
    EXPECT_EQ(module.PosCode0[1], 3);
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(module.StatusAux[t] & 0x01, 0) << "two trains shared a section";
    EXPECT_NE(form->form3().surface().image(), before); // the map followed the move
}

TEST_F(EndToEndTest, SurvivesALostLineAndCarriesOnWhenItReturns)
{
    // A controller at a fixed link path that goes away and comes back, as an unplugged adapter.
    simulator.stop();
    const QString link = dir.filePath(QStringLiteral("line"));
    QString error;
    ASSERT_FALSE(simulator.start(QStringLiteral(RELM_SIM_BINARY), {QStringLiteral("--link"), link}, &error)
                     .isEmpty());
    device = link;
    start(kXBehindY);
    ASSERT_TRUE(runUntil([&] { return module.InitSent != 0; }, 4000));
    simulator.stop();
    ASSERT_TRUE(runUntil([&] { return form->lineLost(); }, 3000));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM - 通信断"));
    const auto linesWhileLost = log().records.size();
    runUntil([] { return false; }, 1500); // ticks go on; nothing spins or floods the log
    EXPECT_LT(log().records.size(), linesWhileLost + 10);

    ASSERT_FALSE(simulator.start(QStringLiteral(RELM_SIM_BINARY), {QStringLiteral("--link"), link}, &error)
                     .isEmpty());
    ASSERT_TRUE(runUntil([&] { return !form->lineLost(); }, 3000));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("RELM"));
    const auto linesBack = log().records.size();
    ASSERT_TRUE(runUntil([&] { return log().records.size() > linesBack; }, 1000)); // next tick
}

} // namespace
} // namespace relm
