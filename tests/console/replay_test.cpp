// Records the console's traffic against the simulated controller, then plays the recording back
// with relm-sim --replay to a fresh console: one that does the same must send the same frames,
// one that moves a slider differently must be caught.

#include "console/form1.h"
#include "map/form3.h"
#include "sim/program_image.h"
#include "traffic/replay.h"
#include "traffic/traffic_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <unistd.h>

namespace relm {
namespace {

// The operator's actions come after the console's n-th command frame, not at a time on the
// clock, so a replay can repeat them exactly.
constexpr int kSliderAfter = 3;
constexpr int kStopAfter = 15;
constexpr int kExitAfter = 25;
constexpr int kRecordedSlider = 0; // full speed
constexpr int kOtherSlider = 60;
constexpr int kSessionMs = 20000;

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

bool ptysAvailable()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

// relm-sim as a child whose device line, report and exit status the test reads; its log goes to
// the test's standard error.
class SimRun final
{
public:
    SimRun() = default;
    SimRun(const SimRun &) = delete;
    SimRun &operator=(const SimRun &) = delete;
    ~SimRun() { stop(); }

    // The device it serves, or empty with the reason.
    QString start(const QStringList &arguments, QString *error)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(RELM_SIM_BINARY), arguments);
        if (!m_process.waitForStarted(10000)) {
            *error = m_process.errorString();
            return {};
        }
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000)) {
                *error = QStringLiteral("relm-sim named no device");
                return {};
            }
        }
        return QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }

    // Keeps the console's event loop running until relm-sim ends by itself.
    bool waitForExit(int ms)
    {
        return runUntil([this] { return m_process.state() == QProcess::NotRunning; }, ms);
    }

    int exitCode() const { return m_process.exitCode(); }
    bool exitedNormally() const { return m_process.exitStatus() == QProcess::NormalExit; }
    std::string report() { return m_process.readAllStandardOutput().toStdString(); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

// A fresh console (its own tables and window) going through the operator's script once.
struct Session
{
    Module1 module;
    std::unique_ptr<Form1> form;
    int ticks = 0;
    bool ended = false; // the program ender was called: the Exit frame has gone

    void start(const QString &device, const QString &logPath, int xSlider)
    {
        form = std::make_unique<Form1>(module, device);
        form->setMessageReporter(
            [](const QString &, const QString &text) { ADD_FAILURE() << text.toStdString(); });
        form->setProgramEnder([this](int) { ended = true; });
        // After the console's own tick handler, so each action follows the frame just sent.
        QObject::connect(&form->Timer1, &QTimer::timeout, form.get(), [this, xSlider] {
            const int commandFrames = ++ticks - 1; // the first tick sends the initialisation
            if (commandFrames == kSliderAfter)
                form->Slider1[0]->setValue(xSlider);
            else if (commandFrames == kStopAfter)
                form->Command1[0]->click();
            else if (commandFrames == kExitAfter)
                form->Command3->click();
        });
        QString error;
        ASSERT_TRUE(form->setTrafficLog(logPath, &error)) << error.toStdString();
        ASSERT_TRUE(form->load(&error)) << error.toStdString();
        form->form3().setFailureReporter([](const QString &, const QString &) {});
        form->onTransfer();
    }
};

// Sections short enough that train X, at full speed from the third command frame on, passes
// into the next sections before Stop: the status frames then change what the console sends.
void writeShortSectionImage(const QString &path)
{
    const std::vector<sim::ImageParameter> parameters{{sim::ImageKey::SectionLengthMm, 300},
                                                      {sim::ImageKey::AccelerationPerS, 128}};
    const std::vector<std::uint8_t> image = sim::buildImage(parameters, "replay test");
    ASSERT_TRUE(sim::readImage(image).notes.empty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char *>(image.data()), static_cast<qint64>(image.size()));
}

// The values of train X's register 3 (section after the next) in the command frames.
std::set<std::uint8_t> xAfterNext(const std::vector<TimedFrame> &sent)
{
    std::set<std::uint8_t> codes;
    for (const TimedFrame &f : sent) {
        const bool command =
            f.bytes.size() >= 14 && f.bytes[0] == 0xFF && f.bytes[1] <= 24 && f.bytes[2] == 3;
        if (command)
            codes.insert(f.bytes[3]);
    }
    return codes;
}

TrafficLog readLog(const QString &path)
{
    std::ifstream in(path.toStdString());
    return readTrafficLog(in);
}

class RecordAndReplayTest : public testing::Test
{
protected:
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        if (!ptysAvailable())
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        if (!s_dir) {
            s_dir = std::make_unique<QTemporaryDir>();
            ASSERT_TRUE(s_dir->isValid());
            ASSERT_NO_FATAL_FAILURE(
                writeShortSectionImage(s_dir->filePath(QStringLiteral("atctest.bin"))));
            for (const char *name : {"kukan.dat", "atc.ini"}) {
                const QString file = QString::fromLatin1(name);
                ASSERT_TRUE(
                    QFile::copy(QStringLiteral(RELM_LAYOUT_DIR "/") + file, s_dir->filePath(file)))
                    << name;
            }
        }
        m_previous = QDir::currentPath();
        QDir::setCurrent(s_dir->path());
    }

    void TearDown() override
    {
        if (HasFailure() && s_dir) {
            // Both traffic logs stay for a look at where the console and the recording parted.
            s_dir->setAutoRemove(false);
            std::fprintf(stderr, "traffic logs kept in %s\n", qPrintable(s_dir->path()));
        }
        QDir::setCurrent(m_previous);
    }

    static QString path(const char *name) { return s_dir->filePath(QString::fromLatin1(name)); }

    // The console against the simulated controller, once for the whole suite.
    void record()
    {
        if (QFile::exists(path("recorded.log")))
            return;
        SimRun sim;
        QString error;
        const QString device = sim.start({}, &error);
        if (device.isEmpty())
            GTEST_SKIP() << "relm-sim could not serve a pseudo-terminal: " << error.toStdString();
        Session console;
        ASSERT_NO_FATAL_FAILURE(console.start(device, path("recording.log"), kRecordedSlider));
        ASSERT_TRUE(runUntil([&] { return console.ended; }, kSessionMs));
        console.form.reset();
        sim.stop();

        // The script ran: download, initialisation, 25 command frames and the one with Exit's
        // stop command 255 for train X.
        const TrafficLog log = readLog(path("recording.log"));
        ASSERT_TRUE(log.errors.empty());
        const std::vector<TimedFrame> sent =
            framesInDirection(log.records, Direction::ToController);
        ASSERT_EQ(sent.size(), 2u + kExitAfter + 1u);
        EXPECT_GT(sent.front().bytes.size(), 31u);
        const std::set<std::uint8_t> afterNext = xAfterNext(sent);
        EXPECT_GE(afterNext.size(), 3u) << "train X did not pass into two more sections";
        const std::vector<std::uint8_t> &last = sent.back().bytes;
        ASSERT_GE(last.size(), 2u);
        EXPECT_EQ(last[last.size() - 2], 7);
        EXPECT_EQ(last.back(), 0xFF);
        ASSERT_TRUE(QFile::rename(path("recording.log"), path("recorded.log")));
    }

    // A fresh console runs the script with X's slider at xSlider against the recording.
    void replay(int xSlider, const char *logName, int &status, std::string &report)
    {
        SimRun sim;
        QString error;
        const QString device =
            sim.start({QStringLiteral("--replay"), path("recorded.log")}, &error);
        ASSERT_FALSE(device.isEmpty()) << error.toStdString();
        Session console;
        ASSERT_NO_FATAL_FAILURE(console.start(device, path(logName), xSlider));
        ASSERT_TRUE(sim.waitForExit(kSessionMs)) << "the replay did not end by itself";
        EXPECT_TRUE(console.ended);
        console.form.reset();
        ASSERT_TRUE(sim.exitedNormally());
        status = sim.exitCode();
        report = sim.report();
    }

    inline static std::unique_ptr<QTemporaryDir> s_dir;
    QString m_previous;
};

TEST_F(RecordAndReplayTest, TheSameActionsSendTheRecordedFrames)
{
    ASSERT_NO_FATAL_FAILURE(record());
    if (IsSkipped())
        return;
    int status = -1;
    std::string report;
    ASSERT_NO_FATAL_FAILURE(replay(kRecordedSlider, "same.log", status, report));
    EXPECT_EQ(status, 0) << report;
    EXPECT_NE(report.find(" frames matched, 0 differences"), std::string::npos) << report;
}

TEST_F(RecordAndReplayTest, AnotherSliderSpeedIsReportedByFrame)
{
    ASSERT_NO_FATAL_FAILURE(record());
    if (IsSkipped())
        return;
    int status = -1;
    std::string report;
    ASSERT_NO_FATAL_FAILURE(replay(kOtherSlider, "other.log", status, report));
    EXPECT_EQ(status, 1) << report;
    // X ramps 20, 40, 60 either way; the fourth step is 80 in the recording and 68 now. That is
    // the 7th command frame, frame #9 after the download and the initialisation, and its byte 5
    // is X's speed.
    const std::string first = report.substr(0, report.find('\n'));
    EXPECT_EQ(first.rfind("frame #9 at ", 0), 0u) << report;
    EXPECT_NE(first.find("first difference at byte 5"), std::string::npos) << report;
    EXPECT_EQ(report.find(" 0 differences"), std::string::npos) << report;
}

} // namespace
} // namespace relm
