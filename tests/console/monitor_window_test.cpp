#include "console/monitor_window.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace relm {
namespace {

const std::vector<std::uint8_t> kCommand{0xFF, 6, 3, 2, 4, 20, 17, 10, 18, 0, 31, 128, 32, 0};

TEST(MonitorWindowTest, PauseFreezesTheViewButKeepsCollecting)
{
    MonitorWindow w;
    w.show();
    w.addFrame(0, Direction::ToController, kCommand);
    w.setPaused(true);
    w.addFrame(200, Direction::ToController, kCommand);
    EXPECT_EQ(w.history().size(), 2u);
    EXPECT_EQ(w.visibleText().count(QLatin1Char('\n')), 0); // one line shown
    w.setPaused(false);
    EXPECT_EQ(w.visibleText().count(QLatin1Char('\n')), 1);
    EXPECT_TRUE(w.visibleText().contains(QStringLiteral("200 TX FF 06")));
    w.clear();
    EXPECT_EQ(w.history().size(), 0u);
    EXPECT_TRUE(w.visibleText().isEmpty());
}

TEST(MonitorWindowTest, KeepsTheNewestFiveThousandLines)
{
    MonitorWindow w;
    w.show();
    for (int i = 0; i < 5100; ++i)
        w.addFrame(i, Direction::FromController, kCommand);
    EXPECT_EQ(w.history().size(), 5000u);
    EXPECT_EQ(w.history().at(0).rfind("100 RX", 0), 0u);
    EXPECT_EQ(w.visibleText().count(QLatin1Char('\n')), 4999);
}

TEST(MonitorWindowTest, SavesWhatItKeepsAndReportsAFailure)
{
    QTemporaryDir dir;
    MonitorWindow w;
    w.show();
    w.addFrame(0, Direction::ToController, kCommand);
    w.addFrame(7, Direction::FromController, {});
    QString error;
    const QString path = dir.filePath(QStringLiteral("m.txt"));
    ASSERT_TRUE(w.saveTo(path, &error)) << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines and the empty rest after the last line end
    EXPECT_TRUE(lines[0].startsWith("0 TX FF 06 03 02"));
    EXPECT_TRUE(lines[1].startsWith("7 RX"));
    EXPECT_FALSE(w.saveTo(dir.filePath(QStringLiteral("missing/m.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace relm
