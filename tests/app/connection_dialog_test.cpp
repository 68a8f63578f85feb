#include "app/connection_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace relm {
namespace {

const SerialPortEntry kFtdi{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
                            QStringLiteral("FTDI"), QStringLiteral("A10K3Z9Q")};
const SerialPortEntry kBoard{QStringLiteral("/dev/ttyS0"), {}, {}, {}};

// The dialog against ports the test plugs in and out, and devices that fail as the test says.
class ConnectionDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"atctest.bin", "atc.ini", "kukan.dat"}) {
            QFile f(m_layout.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
    }

    std::unique_ptr<ConnectionDialog> open(DialogStart start)
    {
        auto d = std::make_unique<ConnectionDialog>(
            start, [this] { return m_ports; },
            [this](const QString &device) {
                m_tried << device;
                return m_problems.count(device) ? m_problems[device] : OpenProblem{};
            });
        d->show();
        return d;
    }

    DialogStart startIn(const QString &layout, std::optional<Connection> remembered = {})
    {
        DialogStart s;
        s.remembered.connection = std::move(remembered);
        s.layoutDir = layout;
        return s;
    }

    static QStringList entries(const ConnectionDialog &d)
    {
        QStringList out;
        for (int i = 0; i < d.portList->count(); ++i)
            out << d.portList->item(i)->text();
        return out;
    }

    static void select(ConnectionDialog &d, const QString &text)
    {
        const auto items = d.portList->findItems(text, Qt::MatchStartsWith);
        ASSERT_EQ(items.size(), 1) << text.toStdString();
        d.portList->setCurrentItem(items.first());
    }

    QTemporaryDir m_layout;
    QList<SerialPortEntry> m_ports;
    std::map<QString, OpenProblem> m_problems;
    QStringList m_tried;
};

TEST_F(ConnectionDialogTest, AnAdapterPluggedInWhileOpenAppearsAndTheRememberedOneIsSelected)
{
    const auto d = open(startIn(m_layout.path(), Connection{false, kFtdi.device}));
    EXPECT_EQ(entries(*d), QStringList{QStringLiteral("模擬制御装置")});
    EXPECT_TRUE(d->noPorts->isVisible());
    EXPECT_FALSE(d->connection());
    EXPECT_FALSE(d->okButton->isEnabled());

    m_ports = {kFtdi, kBoard};
    QTRY_COMPARE_WITH_TIMEOUT(d->portList->count(), 3, 3 * ConnectionDialog::kRefreshMs);
    EXPECT_EQ(entries(*d),
              (QStringList{QStringLiteral("/dev/ttyUSB0 — FT232R USB UART (FTDI, A10K3Z9Q)"),
                           QStringLiteral("/dev/ttyS0"), QStringLiteral("模擬制御装置")}));
    EXPECT_FALSE(d->noPorts->isVisible());
    EXPECT_EQ(d->connection(), (Connection{false, kFtdi.device}));
    EXPECT_TRUE(d->okButton->isEnabled());

    // Pulled out, the choice goes; plugged in again, it comes back. Another choice stays.
    m_ports = {kBoard};
    d->refreshPorts();
    EXPECT_FALSE(d->connection());
    EXPECT_FALSE(d->okButton->isEnabled());
    m_ports = {kFtdi, kBoard};
    d->refreshPorts();
    EXPECT_EQ(d->connection(), (Connection{false, kFtdi.device}));
    select(*d, QStringLiteral("/dev/ttyS0"));
    m_ports = {kBoard, kFtdi};
    d->refreshPorts();
    EXPECT_EQ(d->connection(), (Connection{false, kBoard.device}));
    EXPECT_TRUE(m_tried.isEmpty()) << "nothing is opened before OK";
}

TEST_F(ConnectionDialogTest, APortThisUserMayNotOpenKeepsTheDialogOpenWithTheCommand)
{
    m_ports = {kFtdi};
    m_problems[kFtdi.device] = {
        QStringLiteral("シリアルポート /dev/ttyUSB0 を開けません: 権限がありません"), true};
    const auto d = open(startIn(m_layout.path()));
    EXPECT_FALSE(d->message->isVisible());
    select(*d, QStringLiteral("/dev/ttyUSB0"));
    QTest::mouseClick(d->okButton, Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_TRUE(d->message->isVisible());
    EXPECT_TRUE(d->message->text().startsWith(m_problems[kFtdi.device].text));
    EXPECT_TRUE(d->message->text().contains(QStringLiteral("ログインし直して")));
    EXPECT_TRUE(d->command->isVisible());
    EXPECT_EQ(d->command->text(), QStringLiteral("sudo adduser %1 dialout").arg(currentUserName()));

    // The simulated controller needs no device: OK takes it without trying anything.
    select(*d, QStringLiteral("模擬制御装置"));
    QTest::mouseClick(d->okButton, Qt::LeftButton);
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(d->connection(), (Connection{true, {}}));
    EXPECT_EQ(d->layoutDir(), QDir(m_layout.path()).absolutePath());
    EXPECT_EQ(m_tried, QStringList{kFtdi.device});
}

TEST_F(ConnectionDialogTest, WhyTheRememberedConnectionFailedIsSaidAtOnce)
{
    DialogStart start = startIn(m_layout.path(), Connection{false, kFtdi.device});
    start.portProblem = {QStringLiteral("シリアルポート /dev/ttyUSB0 を開けません: 使用中"), false};
    start.settingsProblem = QStringLiteral("設定ファイル x が壊れています。");
    const auto d = open(start);
    EXPECT_EQ(d->message->text(), start.portProblem.text + u'\n' + start.settingsProblem);
    EXPECT_FALSE(d->command->isVisible());
}

TEST_F(ConnectionDialogTest, OkWaitsForALayoutDirectoryThatHoldsEveryFile)
{
    const QString other = m_layout.filePath(QStringLiteral("other"));
    QDir().mkpath(other);
    for (const char *name : {"atctest.bin", "atc.ini"})
        QFile(other + u'/' + QString::fromLatin1(name)).open(QIODevice::WriteOnly);
    DialogStart start = startIn(QString(), Connection{true, {}});
    start.remembered.recentLayouts = {other, m_layout.path()};
    const auto d = open(start);
    EXPECT_EQ(d->layout->count(), 2);
    EXPECT_TRUE(d->layoutProblem->isVisible());
    EXPECT_FALSE(d->okButton->isEnabled());

    d->layout->setCurrentIndex(0);
    EXPECT_TRUE(d->layoutProblem->text().contains(QStringLiteral("kukan.dat がありません")))
        << d->layoutProblem->text().toStdString();
    EXPECT_FALSE(d->layoutProblem->text().contains(QStringLiteral("--layout")));
    EXPECT_FALSE(d->okButton->isEnabled());
    QTest::mouseClick(d->okButton, Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());

    d->layout->setCurrentIndex(1);
    EXPECT_FALSE(d->layoutProblem->isVisible());
    ASSERT_TRUE(d->okButton->isEnabled());
    // The files can go while the dialog is open: OK looks again.
    QFile::remove(m_layout.filePath(QStringLiteral("atc.ini")));
    QTest::mouseClick(d->okButton, Qt::LeftButton);
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(d->layoutProblem->text().contains(QStringLiteral("atc.ini がありません")));
}

} // namespace
} // namespace relm
