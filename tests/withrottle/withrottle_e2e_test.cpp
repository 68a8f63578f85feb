// The throttle server end to end: relm --simulate with the throttle server and the remote panel,
// offscreen, in a copy of the sample layout. The panel presses 転送; a throttle of ours acquires
// X, sets speed 63, sees X's command frames climb and X change section in the traffic log,
// then falls silent, and X stops, with a note in the log.

#include <QDir>
#include <QFile>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include <gtest/gtest.h>

namespace relm {
namespace {

// What relm wrote to its traffic log so far.
QString logText(const QString &path)
{
    QFile log(path);
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

// One number or code per matching log line, in order.
QStringList logged(const QString &path, const QString &pattern)
{
    QStringList found;
    const QRegularExpression re(pattern);
    for (const QString &line : logText(path).split(u'\n')) {
        if (const QRegularExpressionMatch m = re.match(line); m.hasMatch())
            found << m.captured(1);
    }
    return found;
}

TEST(WiThrottleEndToEndTest, AThrottleDrivesXAndItsSilenceStopsX)
{
    QTemporaryDir dir;
    const QString layout = dir.filePath(QStringLiteral("layout"));
    ASSERT_TRUE(QDir().mkpath(layout));
    for (const char *name : {"atctest.bin", "atc.ini", "kukan.dat"}) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(RELM_LAYOUT_DIR "/") + QString::fromLatin1(name),
                                layout + u'/' + QString::fromLatin1(name)))
            << name;
    }
    const QString log = dir.filePath(QStringLiteral("traffic.log"));

    QProcess relm;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    relm.setProcessEnvironment(env);
    relm.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relm.start(QStringLiteral(RELM_BINARY),
               {QStringLiteral("--simulate"), QStringLiteral("--layout"), layout,
                QStringLiteral("--log"), log, QStringLiteral("--serve"),
                QStringLiteral("127.0.0.1:0"), QStringLiteral("--withrottle"),
                QStringLiteral("127.0.0.1:0")});
    ASSERT_TRUE(relm.waitForStarted());
    std::map<QString, QString> printed; // view, control, withrottle
    while (printed.size() < 3 && relm.waitForReadyRead(10000)) {
        while (relm.canReadLine()) {
            const QString line = QString::fromUtf8(relm.readLine()).trimmed();
            const qsizetype colon = line.indexOf(QStringLiteral(": "));
            printed[line.left(colon)] = line.mid(colon + 2);
        }
    }
    ASSERT_EQ(printed.size(), 3u) << "relm printed the panel's URLs and the throttle address";
    const QString throttleAddress = printed[QStringLiteral("withrottle")];
    ASSERT_TRUE(throttleAddress.startsWith(QStringLiteral("127.0.0.1:")))
        << throttleAddress.toStdString();

    // A throttle of ours: greeted, X acquired at speed 63, a heartbeat every two seconds.
    QString received; // outlives the socket whose reads fill it
    QTcpSocket throttle;
    QObject::connect(&throttle, &QTcpSocket::readyRead, &throttle,
                     [&] { received += QString::fromUtf8(throttle.readAll()); });
    throttle.connectToHost(QHostAddress::LocalHost, throttleAddress.mid(10).toUShort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.contains(u"\n*4\n"); }, 5000));
    throttle.write("Ne2e-test\r\n*+\r\nM0+S1<;>S1\r\nM0A*<;>V63\r\n");
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, &throttle, [&] { throttle.write("*\r\n"); });
    heartbeat.start(2000);

    // 転送 from the panel, with the control URL's token.
    const QUrl control(printed[QStringLiteral("control")]);
    QWebSocket panel(QStringLiteral("http://127.0.0.1:%1").arg(control.port()));
    panel.open(QNetworkRequest(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(control.port()))));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return panel.state() == QAbstractSocket::ConnectedState; }, 5000));
    panel.sendTextMessage(QStringLiteral("{\"type\":\"hello\",\"token\":\"%1\"}")
                              .arg(control.query().section(u'=', 1)));
    panel.sendTextMessage(QStringLiteral("{\"type\":\"transfer\"}"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.contains(u"\nPPA1\n"); }, 15000))
        << "the throttle hears that the cycle runs";

    // X's frames climb by the ramp to the console's 64, and X runs into the next section.
    const QString xSpeeds = QStringLiteral(R"( TX .* \| (?:cmd )?X v=(\d+))");
    const QString xSections = QStringLiteral(R"( RX .* \| status X ([0-9A-F]{2})/)");
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(log, xSpeeds).contains(u"64"); }, 10000));
    const QStringList climb = logged(log, xSpeeds);
    const qsizetype first = climb.indexOf(QStringLiteral("20"));
    ASSERT_GE(first, 0);
    EXPECT_EQ(climb.mid(first, 4), (QStringList{QStringLiteral("20"), QStringLiteral("40"),
                                                QStringLiteral("60"), QStringLiteral("64")}));
    const QString start = logged(log, xSections).value(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(log, xSections).last() != start; }, 30000))
        << "X leaves section " << start.toStdString();

    // Silent from now on: within the heartbeat period and its margin X is stopped, and stays so.
    heartbeat.stop();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return logText(log).contains(u"応答なし: 列車 X を停止"); }, 10000));
    EXPECT_TRUE(received.contains(u"M0AS1<;>V0\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return logged(log, xSpeeds).last() == u"0"; }, 3000));
    EXPECT_TRUE(
        logText(log).contains(u" NOTE スロットル e2e-test (#1, 127.0.0.1) から 5 秒間応答なし"));
    throttle.write("*\r\n"); // back: X is not started again
    QTest::qWait(1000);
    EXPECT_EQ(logged(log, xSpeeds).last(), u"0");

    relm.terminate();
    EXPECT_TRUE(relm.waitForFinished(10000));
}

} // namespace
} // namespace relm
