// The real relm program started as from the desktop menu, under its own Xvfb display with no
// settings yet: the connection dialog first, then the console on what was chosen, and straight
// to the console from then on. And what stays: a --port that cannot be opened ends as before.

#include "x_display.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace relm {
namespace {

class FirstStartTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (const QString missing = test::XDisplay::missingTool(); !missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        ASSERT_TRUE(m_x.start()) << "Xvfb did not start";
        ASSERT_TRUE(m_config.isValid() && m_home.isValid());
    }

    void TearDown() override
    {
        if (m_relm.state() != QProcess::NotRunning) {
            m_relm.kill();
            m_relm.waitForFinished();
        }
    }

    // Starts relm with the given options in a directory that is no layout, as a menu would
    // (there: the home directory).
    void startRelm(const QStringList &arguments = {})
    {
        QProcessEnvironment env = m_x.environment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        env.insert(QStringLiteral("HOME"), m_home.path());
        m_output.clear();
        m_relm.setProcessEnvironment(env);
        m_relm.setWorkingDirectory(m_home.path());
        m_relm.setProcessChannelMode(QProcess::MergedChannels); // relm-sim's log comes along
        m_relm.start(QStringLiteral(RELM_BINARY), arguments);
        ASSERT_TRUE(m_relm.waitForStarted());
    }

    // Waits until relm (or the simulator it started) has printed text; false after 15 s.
    bool waitForOutput(const QString &text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!m_output.contains(text) && clock.elapsed() < 15000) {
            m_relm.waitForReadyRead(100);
            m_output += QString::fromUtf8(m_relm.readAll());
        }
        return m_output.contains(text);
    }

    // Ends relm as a logout would and gives its exit status.
    int endRelm()
    {
        ::kill(static_cast<pid_t>(m_relm.processId()), SIGTERM);
        if (!m_relm.waitForFinished(10000))
            return -1;
        m_output += QString::fromUtf8(m_relm.readAll());
        return m_relm.exitCode();
    }

    // Gives the window the keyboard and presses the keys there, as a person would.
    int focusAndKey(const QString &window, const QStringList &keys)
    {
        const int focused =
            m_x.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        return focused != 0 ? focused : m_x.xdotool(QStringList{QStringLiteral("key")} + keys);
    }

    QString settingsPath() const { return m_config.filePath(QStringLiteral("relm/relm.ini")); }

    test::XDisplay m_x;
    QTemporaryDir m_config; // XDG_CONFIG_HOME, empty at the start
    QTemporaryDir m_home;
    QProcess m_relm;
    QString m_output;
};

TEST_F(FirstStartTest, TheDialogComesFirstThenTheChoiceIsRememberedAndUsed)
{
    const QString layout = QDir(QStringLiteral(RELM_LAYOUT_DIR)).canonicalPath();
    startRelm();
    const QString dialog = m_x.waitForWindow(QStringLiteral("^接続設定$"));
    ASSERT_FALSE(dialog.isEmpty()) << m_output.toStdString();
    // The simulated controller is the list's last entry; the layout directory comes next.
    ASSERT_EQ(focusAndKey(dialog, {QStringLiteral("End"), QStringLiteral("Tab")}), 0);
    ASSERT_EQ(m_x.xdotool({QStringLiteral("type"), layout}), 0);
    ASSERT_EQ(m_x.xdotool({QStringLiteral("key"), QStringLiteral("Return")}), 0);

    const QString console = m_x.waitForWindow(QStringLiteral("^RELM$"));
    ASSERT_FALSE(console.isEmpty()) << m_output.toStdString();
    ASSERT_TRUE(waitForOutput(QStringLiteral("the console opened the line")))
        << m_output.toStdString();
    // 転送, at its place in the main window: the program image reaches the simulator.
    ASSERT_EQ(m_x.xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), console,
                           QStringLiteral("428"), QStringLiteral("80"), QStringLiteral("click"),
                           QStringLiteral("1")}),
              0);
    EXPECT_TRUE(waitForOutput(QStringLiteral("program image received"))) << m_output.toStdString();
    EXPECT_EQ(endRelm(), 128 + SIGTERM);

    {
        const QSettings saved(settingsPath(), QSettings::IniFormat);
        EXPECT_EQ(saved.value(QStringLiteral("connection/kind")).toString(),
                  QStringLiteral("simulator"));
        EXPECT_EQ(saved.value(QStringLiteral("layout/directory")).toString(), layout);
        EXPECT_EQ(saved.value(QStringLiteral("layout/recent")).toStringList(), QStringList{layout});
    }
    const QByteArray before = [this] {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    // The second start goes straight to the console, in the remembered layout.
    startRelm();
    ASSERT_FALSE(m_x.waitForWindow(QStringLiteral("^RELM$")).isEmpty()) << m_output.toStdString();
    EXPECT_TRUE(waitForOutput(QStringLiteral("the console opened the line")));
    QString found;
    EXPECT_NE(m_x.xdotool({QStringLiteral("search"), QStringLiteral("--name"),
                           QStringLiteral("^接続設定$")},
                          &found),
              0)
        << "the dialog is shown again: window " << found.toStdString();
    EXPECT_EQ(endRelm(), 128 + SIGTERM);
    QFile after(settingsPath());
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before) << "a remembered start rewrites nothing";
}

TEST_F(FirstStartTest, CancelEndsWithStatusOneAndRemembersNothing)
{
    startRelm();
    const QString dialog = m_x.waitForWindow(QStringLiteral("^接続設定$"));
    ASSERT_FALSE(dialog.isEmpty()) << m_output.toStdString();
    ASSERT_EQ(focusAndKey(dialog, {QStringLiteral("Escape")}), 0);
    ASSERT_TRUE(m_relm.waitForFinished(10000));
    EXPECT_EQ(m_relm.exitCode(), 1);
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

// Scripts rely on it: the message on standard error and in a box, then status 1; no dialog.
TEST_F(FirstStartTest, APortOnTheCommandLineThatCannotBeOpenedEndsAsBefore)
{
    startRelm({QStringLiteral("--port"), QStringLiteral("/dev/relm-no-such-port")});
    const QString box = m_x.waitForWindow(QStringLiteral("^RELM$"));
    ASSERT_FALSE(box.isEmpty());
    ASSERT_EQ(focusAndKey(box, {QStringLiteral("Return")}), 0);
    ASSERT_TRUE(m_relm.waitForFinished(10000));
    m_output += QString::fromUtf8(m_relm.readAll());
    EXPECT_EQ(m_relm.exitCode(), 1);
    EXPECT_TRUE(m_output.contains(
        QStringLiteral("relm: シリアルポート /dev/relm-no-such-port を開けません: ")))
        << m_output.toStdString();
    EXPECT_TRUE(m_output.contains(QStringLiteral(
        "\n--port で装置を指定するか、--simulate で模擬制御装置を使ってください。\n")));
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

} // namespace
} // namespace relm
