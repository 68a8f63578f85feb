// The real relm program on a pseudo-terminal, under its own Xvfb display, with the simulated
// controller's frames coming back: termination signals end it as Exit does.

#include "controller_pty.h"
#include "x_display.h"

#include "sim/controller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

constexpr std::size_t kDownloadBytes = 100 + 31;
constexpr std::size_t kInitBytes = 26;

// The register frames relm has written, cut at their boundaries: the download, the
// initialisation, then command frames whose length follows from their pair count.
struct Line
{
    Bytes pending;
    std::vector<Bytes> frames;

    void take(const Bytes &bytes)
    {
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        for (;;) {
            std::size_t n = 0;
            if (frames.empty())
                n = kDownloadBytes;
            else if (frames.size() == 1)
                n = kInitBytes;
            else if (pending.size() >= 2)
                n = 2 + 2 * std::size_t{pending[1]};
            if (n == 0 || pending.size() < n)
                return;
            frames.emplace_back(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n));
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n));
        }
    }
    std::size_t commandFrames() const { return frames.size() < 2 ? 0 : frames.size() - 2; }
};

class TerminationTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = test::XDisplay::missingTool(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        if (!m_pty.ok())
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        m_master = m_pty.master();
        m_device = QString::fromStdString(m_pty.device());
        ASSERT_TRUE(m_x.start()) << "Xvfb did not start";

        QFile image(m_dir.filePath(QStringLiteral("atctest.bin")));
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(100, '\x5A'));
        image.close();
        QFile ini(m_dir.filePath(QStringLiteral("atc.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        // X on route 0 section 1, Y on route 1 section 3, Z absent.
        ini.write(" 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n");
    }

    void TearDown() override
    {
        if (m_relm.state() != QProcess::NotRunning) {
            m_relm.kill();
            m_relm.waitForFinished();
        }
    }

    // Starts relm on the pty and waits for its main window.
    void startRelm()
    {
        m_relm.setProcessEnvironment(m_x.environment());
        m_relm.setWorkingDirectory(m_dir.path());
        m_relm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_relm.start(QStringLiteral(RELM_BINARY), {QStringLiteral("--port"), m_device});
        ASSERT_TRUE(m_relm.waitForStarted());
        m_window = m_x.waitForWindow(QStringLiteral("^RELM$"));
        ASSERT_FALSE(m_window.isEmpty());
    }

    // Presses 転送 with the mouse, at its place in the window (6000, 960 twips; 855 x 495).
    void pressTransfer()
    {
        ASSERT_EQ(m_x.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), m_window,
                               QStringLiteral("428"), QStringLiteral("80"), QStringLiteral("click"),
                               QStringLiteral("1")}),
                  0);
    }

    // Plays the controller in real time until `done` holds or the time is up: relm's frames go
    // to the simulated controller, its status frames back to relm.
    template <typename Done>
    bool playController(Done done, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        qint64 simulatedMs = 0;
        while (clock.elapsed() < timeoutMs) {
            if (done())
                return true;
            QTest::qWait(10);
            Bytes in(4096);
            const ssize_t n = ::read(m_master, in.data(), in.size());
            if (n > 0) {
                in.resize(static_cast<std::size_t>(n));
                m_line.take(in);
                m_controller.receive(in);
            }
            const qint64 now = clock.elapsed();
            m_controller.step(std::chrono::milliseconds(now - simulatedMs));
            simulatedMs = now;
            const Bytes out = m_controller.takeOutput();
            if (!out.empty() && ::write(m_master, out.data(), out.size()) < 0)
                return false;
        }
        return done();
    }

    bool finished() const { return m_relm.state() == QProcess::NotRunning; }

    test::ControllerPty m_pty;
    QTemporaryDir m_dir;
    test::XDisplay m_x;
    QProcess m_relm;
    QString m_device;
    QString m_window;
    int m_master = -1;
    Line m_line;
    sim::Controller m_controller;
};

bool carriesStop(const Bytes &frame)
{
    // After the base pairs of the three trains: register 2 of X, then its command 255.
    return frame.size() >= 18 && frame[14] == 0x02 && frame[16] == 0x07 && frame[17] == 0xFF;
}

TEST_F(TerminationTest, SigtermWhileTheCycleRunsSendsOneMoreFrameWithTheStopAndEnds)
{
    startRelm();
    pressTransfer();
    ASSERT_TRUE(playController([&] { return m_line.commandFrames() >= 3; }, 15000))
        << m_line.frames.size() << " frames";
    EXPECT_TRUE(m_controller.train(0).present()); // the simulator's frames reached relm
    const std::size_t before = m_line.frames.size();
    ASSERT_EQ(::kill(static_cast<pid_t>(m_relm.processId()), SIGTERM), 0);
    ASSERT_TRUE(playController([&] { return finished(); }, 5000));
    playController([] { return false; }, 200); // whatever was still on its way
    ASSERT_EQ(m_line.frames.size(), before + 1);
    EXPECT_TRUE(carriesStop(m_line.frames.back()));
    EXPECT_TRUE(m_line.pending.empty());
    EXPECT_EQ(m_relm.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_relm.exitCode(), 128 + SIGTERM);
    EXPECT_EQ(m_controller.state(), sim::ProgramState::Halted);
}

TEST_F(TerminationTest, SignalsWhileIdleEndAtOnceAndASecondSignalDoesNotWait)
{
    startRelm();
    ASSERT_EQ(::kill(static_cast<pid_t>(m_relm.processId()), SIGHUP), 0);
    ASSERT_TRUE(m_relm.waitForFinished(5000));
    EXPECT_EQ(m_relm.exitCode(), 128 + SIGHUP);
    Bytes out(64);
    EXPECT_LE(::read(m_master, out.data(), out.size()), 0) << "nothing is sent before Transfer";

    // Just after a download the stopping frame is two seconds away (the initialisation goes
    // first): the first signal waits for it, the second ends the program there and then.
    m_line = Line{};
    startRelm();
    pressTransfer();
    ASSERT_TRUE(playController([&] { return !m_line.frames.empty(); }, 15000));
    playController([] { return false; }, 100); // the console sees its frame has left
    ::kill(static_cast<pid_t>(m_relm.processId()), SIGTERM);
    playController([] { return false; }, 100);
    EXPECT_FALSE(finished());
    ::kill(static_cast<pid_t>(m_relm.processId()), SIGINT);
    ASSERT_TRUE(playController([&] { return finished(); }, 500));
    EXPECT_EQ(m_relm.exitCode(), 128 + SIGINT);
    EXPECT_EQ(m_line.frames.size(), 1u);
}

} // namespace
} // namespace relm
