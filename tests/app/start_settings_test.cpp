#include "app/start_settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace relm {
namespace {

class StartSettingsTest : public testing::Test
{
protected:
    void writeFile(const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("config/relm/relm.ini"));
};

TEST_F(StartSettingsTest, WhatIsWrittenIsReadBackAndAnAbsentFileIsNoSettings)
{
    SettingsRead none = readStartSettings(m_path);
    EXPECT_EQ(none.settings, StartSettings{});
    EXPECT_EQ(none.problem, QString());

    for (const StartSettings &s :
         {StartSettings{
              Connection{false, QStringLiteral("/dev/ttyUSB0")},
              QStringLiteral("/home/運転士/レイアウト, 本線"),
              {QStringLiteral("/home/運転士/レイアウト, 本線"), QStringLiteral("/srv/club")}},
          StartSettings{Connection{true, {}}, QStringLiteral("/l"), {QStringLiteral("/l")}},
          StartSettings{}}) {
        QString error;
        ASSERT_TRUE(writeStartSettings(m_path, s, &error)) << error.toStdString();
        const SettingsRead back = readStartSettings(m_path);
        EXPECT_EQ(back.problem, QString());
        EXPECT_EQ(back.settings, s) << back.settings.layoutDir.toStdString();
    }
}

// (file contents, what is read as "kind port layout recent...", the problem names this or "")
using DamagedCase = std::tuple<std::string, std::string, std::string>;

class DamagedSettingsTest : public StartSettingsTest,
                            public testing::WithParamInterface<DamagedCase>
{
};

TEST_P(DamagedSettingsTest, ReportsWhatCannotBeUsedAndKeepsTheRest)
{
    const auto &[contents, expected, problem] = GetParam();
    writeFile(QByteArray::fromStdString(contents));
    const SettingsRead read = readStartSettings(m_path);
    const StartSettings &s = read.settings;
    QString got = !s.connection             ? QStringLiteral("none")
                  : s.connection->simulator ? QStringLiteral("sim")
                                            : s.connection->port;
    got += u' ' + s.layoutDir;
    for (const QString &d : s.recentLayouts)
        got += u' ' + d;
    EXPECT_EQ(got.toStdString(), expected);
    if (problem.empty())
        EXPECT_EQ(read.problem, QString());
    else
        EXPECT_TRUE(read.problem.contains(QString::fromStdString(problem)))
            << "problem: " << read.problem.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedSettingsTest,
    testing::Values(
        DamagedCase{"[connection\nkind=port\nport=/dev/ttyS0\n", "none ", "壊れています"},
        DamagedCase{"a line without its sign\n\x01\x02", "none ", "壊れています"},
        DamagedCase{"[connection]\nkind=port\nport=/dev/ttyS0\n" + std::string(70000, '#'), "none ",
                    "大きすぎます"},
        DamagedCase{"[connection]\nkind=teleport\n[layout]\ndirectory=/l\n", "none /l",
                    "connection/kind"},
        // A port of no use (missing, a list, a control character) is no remembered connection.
        DamagedCase{"[connection]\nkind=port\n", "none ", "connection/kind"},
        DamagedCase{"[connection]\nkind=port\nport=/dev/a, /dev/b\n", "none ", "connection/kind"},
        DamagedCase{"[connection]\nkind=port\nport=\"/dev/tty\\nS0\"\n", "none ",
                    "connection/kind"},
        DamagedCase{"[connection]\nkind=simulator\nport=/dev/ttyS0\n[layout]\ndirectory=relative\n",
                    "sim ", "layout/directory"},
        // Recent layouts: absolute ones only, each once, the five newest.
        DamagedCase{"[layout]\nrecent=/a, b, /a/, /c, /d, /e, /f, /g\n", "none  /a /c /d /e /f",
                    "layout/recent"},
        DamagedCase{"[layout]\nrecent=/only\n", "none  /only", ""}));

TEST_F(StartSettingsTest, AFileThatIsNoFileIsReportedAndAWriteThatFailsSaysSo)
{
    QDir().mkpath(m_path); // a directory where the file should be
    const SettingsRead read = readStartSettings(m_path);
    EXPECT_EQ(read.settings, StartSettings{});
    EXPECT_TRUE(read.problem.contains(QStringLiteral("読めません"))) << read.problem.toStdString();

    QString error;
    EXPECT_FALSE(writeStartSettings(m_path, StartSettings{Connection{true, {}}, {}, {}}, &error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(m_path))) << error.toStdString();
}

TEST(SettingsPathTest, FollowsXdgConfigHomeWhenItIsAbsolute)
{
    EXPECT_EQ(settingsFilePath(QStringLiteral("/x/cfg/"), QStringLiteral("/home/u")),
              QStringLiteral("/x/cfg/relm/relm.ini"));
    EXPECT_EQ(settingsFilePath(QString(), QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.config/relm/relm.ini"));
    EXPECT_EQ(settingsFilePath(QStringLiteral("cfg"), QStringLiteral("/home/u")),
              QStringLiteral("/home/u/.config/relm/relm.ini"));
}

TEST(RecentLayoutsTest, PutsTheLatestFirstOnceAndKeepsFive)
{
    const QStringList five{QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c"),
                           QStringLiteral("/d"), QStringLiteral("/e")};
    EXPECT_EQ(withRecentLayout(five, QStringLiteral("/c/")),
              (QStringList{QStringLiteral("/c"), QStringLiteral("/a"), QStringLiteral("/b"),
                           QStringLiteral("/d"), QStringLiteral("/e")}));
    EXPECT_EQ(withRecentLayout(five, QStringLiteral("/f")),
              (QStringList{QStringLiteral("/f"), QStringLiteral("/a"), QStringLiteral("/b"),
                           QStringLiteral("/c"), QStringLiteral("/d")}));
}

} // namespace
} // namespace relm
