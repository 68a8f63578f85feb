#include "console/monitor_window.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(MonitorWindowTest, PauseHoldsTheViewResumeShowsTheNewestFiveThousandAndSavesThem)
{
    const std::vector<std::uint8_t> command{0xFF, 6, 3, 2, 4, 20, 17, 10, 18, 0, 31, 128, 32, 0};
    const auto shownLines = [](const MonitorWindow &w) {
        return w.visibleText().split(u'\n').size();
    };
    MonitorWindow w;
    w.show();
    w.addFrame(0, Direction::ToController, command);
    w.addFrame(1, Direction::ToController, command);
    EXPECT_EQ(shownLines(w), 2);
    w.setPaused(true);
    for (int ms = 2; ms < 5102; ++ms)
        w.addFrame(ms, Direction::FromController, command);
    EXPECT_EQ(shownLines(w), 2);
    w.setPaused(false);
    EXPECT_EQ(shownLines(w), 5000);
    EXPECT_TRUE(w.visibleText().startsWith(QStringLiteral("102 RX FF 06 03 02")));

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(w.saveTo(dir.filePath(QStringLiteral("m.txt")), &error)) << error.toStdString();
    QFile f(dir.filePath(QStringLiteral("m.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), w.visibleText().toUtf8() + '\n');
    EXPECT_FALSE(w.saveTo(dir.filePath(QStringLiteral("missing/m.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
}

// The console's notes show between the frames, and the remote panel's control address above them.
TEST(MonitorWindowTest, ShowsNotesBetweenFramesAndTheRemotePanelsAddress)
{
    MonitorWindow w;
    w.show();
    EXPECT_TRUE(w.panelText().isEmpty());
    w.setPanelUrl(QStringLiteral("http://127.0.0.1:8080/?token=00"));
    EXPECT_TRUE(w.panelText().contains(QStringLiteral("http://127.0.0.1:8080/?token=00")));
    w.addNote(12, "remote panel: train Y stopped");
    EXPECT_EQ(w.visibleText(), QStringLiteral("# 12 NOTE remote panel: train Y stopped"));
}

} // namespace
} // namespace relm
