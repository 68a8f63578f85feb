// The remote panel over loopback, with real WebSocket and HTTP clients and the console on a
// pseudo-terminal: the state pages get, every command, bad messages, the dead-man rule on a
// clock the test moves, and what the front door answers.

#include "panel_fixture.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTcpSocket>
#include <QTest>

namespace relm::test {
namespace {

using PanelServerTest = PanelTest;

TEST_F(PanelServerTest, APageGetsTheMapAndTheWholeStateAtOnceAndMayOnlyWatchWithoutTheToken)
{
    Page page(server->port());
    ASSERT_TRUE(page.connected());
    const QJsonObject map = page.next(QStringLiteral("map"));
    EXPECT_EQ(map.value(u"seq").toInt(), 1);
    EXPECT_EQ(map.value(u"polygons").toArray().size(), 2);
    const QJsonObject state = page.next(QStringLiteral("state"));
    EXPECT_EQ(state.value(u"seq").toInt(), 2);
    EXPECT_FALSE(state.value(u"control").toBool());
    EXPECT_EQ(state.value(u"console").toObject().value(u"state").toString(), QStringLiteral("idle"));
    const QJsonArray trains = state.value(u"trains").toArray();
    ASSERT_EQ(trains.size(), 3);
    EXPECT_EQ(trains[2].toObject().value(u"name").toString(), QStringLiteral("Z"));
    EXPECT_EQ(trains[0].toObject().value(u"requested").toInt(), 0);
    // Every train's codes are still 0 before any load: section 0 shows X's red.
    EXPECT_EQ(state.value(u"fills").toArray(),
              (QJsonArray{QStringLiteral("#ff0000"), QStringLiteral("#c0ffff")}));

    for (const QByteArray &command :
         {QByteArray(R"({"type":"speed","train":0,"speed":64})"), QByteArray(R"({"type":"transfer"})")}) {
        page.send(command);
        EXPECT_TRUE(page.next(QStringLiteral("error")).value(u"message").toString().contains(
            QStringLiteral("may only watch")));
    }
    EXPECT_EQ(module.SliderSpeed[0], 0);
    EXPECT_TRUE(written().isEmpty());
}

TEST_F(PanelServerTest, EveryCommandOfAnOperatingPageGoesThroughTheConsole)
{
    QFile::remove(QStringLiteral("atc.ini"));
    auto page = operatingPage();
    page->send(R"({"type":"speed","train":1,"speed":100})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[1] == 100; }, 2000));
    EXPECT_EQ(console->train(1).sliderPosition, 28); // the window's slider follows
    EXPECT_EQ(page->next(QStringLiteral("state")).value(u"trains").toArray()[1].toObject().value(
                  u"requested").toInt(),
              100);
    page->send(R"({"type":"stop","train":1})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[1] == 0; }, 2000));
    page->send(R"({"type":"point","train":2})");
    page->send(R"({"type":"reverse","train":0})");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.PointReq[2] == 1 && module.RevState[0] == 1; },
                                2000));
    const QJsonObject z = page->next(QStringLiteral("state")).value(u"trains").toArray()[2].toObject();
    EXPECT_EQ(z.value(u"point").toString(), QStringLiteral("#ff8080"));
    EXPECT_TRUE(z.value(u"pointPending").toBool());
    // Transfer keeps the console's rules: without atc.ini nothing is sent, and the page hears why.
    page->send(R"({"type":"transfer"})");
    EXPECT_TRUE(page->next(QStringLiteral("notice")).value(u"text").toString().contains(
        QStringLiteral("atc.ini")));
    EXPECT_TRUE(written().isEmpty());
    // Reset is refused while the cycle is stopped, as its button is disabled in the window.
    page->send(R"({"type":"reset"})");
    QTest::qWait(100);
    EXPECT_EQ(module.TrainCmd[0], 0);
}

TEST_F(PanelServerTest, OnlyThePanelsOwnOriginAndHostGetAWebSocket)
{
    const QString own = QStringLiteral("http://127.0.0.1:%1").arg(server->port());
    EXPECT_TRUE(Page(server->port(), QStringLiteral("http://evil.example")).refused());
    EXPECT_TRUE(Page(server->port(), QString()).refused()) << "no Origin at all";
    EXPECT_TRUE(Page(server->port(), own + u'0').refused()) << "another port";
    // A name that only resolves here, as a rebinding site would use it.
    EXPECT_TRUE(Page(server->port(), QStringLiteral("http://rebind.example:%1").arg(server->port()),
                     QStringLiteral("rebind.example")).refused(5000))
        << "another site's name";
    EXPECT_TRUE(Page(server->port(), QStringLiteral("http://localhost:%1").arg(server->port()),
                     QStringLiteral("localhost")).connected());
}

TEST_F(PanelServerTest, BadMessagesAreAnsweredWithTheReasonAndChangeNothing)
{
    auto page = operatingPage();
    const std::pair<QByteArray, const char *> bad[] = {
        {QByteArray(5000, ' ') + R"({"type":"stop","train":0})", "too large"},
        {"{\"type\":", "not JSON"},
        {"[1,2]", "not a JSON object"},
        {R"({"type":"fly","train":0})", "unknown command"},
        {R"({"type":"stop","train":3})", "\"train\" must be 0, 1 or 2"},
        {R"({"type":"stop"})", "\"train\" must be 0, 1 or 2"},
        {R"({"type":"speed","train":0,"speed":129})", "\"speed\" must be"},
        {R"({"type":"speed","train":0,"speed":1.5})", "\"speed\" must be"},
        {R"({"type":"speed","train":"0","speed":1})", "\"train\" must be"},
        {R"({"type":"reset","force":true})", "unexpected field \"force\""},
        {R"({"type":"stop","train":0,"train":1})", "\"train\" twice"},
    };
    for (const auto &[message, reason] : bad) {
        now += 1000;
        page->send(R"({"type":"heartbeat"})");
        page->send(message);
        const QString got = page->next(QStringLiteral("error")).value(u"message").toString();
        EXPECT_TRUE(got.contains(QString::fromUtf8(reason))) << message.left(60).constData() << ": "
                                                             << got.toStdString();
    }
    page->sendBinary("\x01\x02");
    EXPECT_TRUE(page->next(QStringLiteral("error")).value(u"message").toString().contains(
        QStringLiteral("binary")));
    EXPECT_EQ(module.SliderSpeed, (Module1::Table4{}));
}

// Messages over the rate are dropped unread, and the page hears of it once a second at most,
// however many come: the answer must not flood the page in turn. It works again a second later.
TEST_F(PanelServerTest, AFloodingPageIsToldOnceASecondAndWorksAgainAfterwards)
{
    auto page = operatingPage();
    for (int second = 1; second <= 2; ++second) {
        now += 2000;
        for (int i = 0; i < 200; ++i)
            page->send(R"({"type":"heartbeat"})");
        page->send(R"({"type":"speed","train":2,"speed":7})");
        QTest::qWait(300);
        const auto complaints = std::count_if(page->messages.begin(), page->messages.end(),
                                              [](const QJsonObject &m) {
                                                  return m.value(u"message").toString().contains(
                                                      QStringLiteral("too many messages"));
                                              });
        EXPECT_EQ(complaints, second);
        EXPECT_EQ(module.SliderSpeed[2], 0) << "the command came over the rate";
    }
    now += 2000;
    page->send(R"({"type":"heartbeat"})");
    page->send(R"({"type":"speed","train":2,"speed":7})");
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[2] == 7; }, 2000));
}

// A page that set a train moving and goes away, by closing, by losing its connection or by
// falling silent, stops that train; a train someone else has set since keeps going.
TEST_F(PanelServerTest, TrainsAPageSetMovingStopWhenItGoesAway)
{
    const auto moving = [&](Page &page, int t, int speed) {
        page.send(QByteArrayLiteral("{\"type\":\"speed\",\"train\":") + QByteArray::number(t) +
                  ",\"speed\":" + QByteArray::number(speed) + '}');
        return QTest::qWaitFor([&] { return module.SliderSpeed[t] == speed; }, 2000);
    };

    auto closing = operatingPage();
    ASSERT_TRUE(moving(*closing, 0, 50));
    closing->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[0] == 0; }, 2000));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].contains(QStringLiteral("train X stopped"))) << notes[0].toStdString();
    EXPECT_EQ(console->train(0).sliderPosition, 128);

    auto lost = operatingPage();
    ASSERT_TRUE(moving(*lost, 1, 60));
    lost->abort();
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[1] == 0; }, 2000));

    auto silent = operatingPage();
    ASSERT_TRUE(moving(*silent, 2, 70));
    ASSERT_TRUE(moving(*silent, 0, 30));
    console->moveSlider(0, 20); // the desk's operator takes X over
    for (int i = 0; i < 2; ++i) { // heartbeats keep it
        now += 1500;
        silent->send(R"({"type":"heartbeat"})");
        QTest::qWait(50);
        server->checkHeartbeats();
    }
    EXPECT_EQ(module.SliderSpeed[2], 70);
    now += PanelSessions::kHeartbeatTimeoutMs;
    server->checkHeartbeats();
    EXPECT_EQ(module.SliderSpeed[2], 0);
    EXPECT_EQ(module.SliderSpeed[0], 108) << "X was the desk's to drive";
    EXPECT_TRUE(notes.back().contains(QStringLiteral("no heartbeat"))) << notes.back().toStdString();
    EXPECT_TRUE(silent->refused());
}

// Changes close together reach a page as one message, numbered on from the last.
TEST_F(PanelServerTest, UpdatesAreCoalescedAndNumbered)
{
    auto page = operatingPage();
    QTest::qWait(100);
    const std::size_t before = page->messages.size();
    const int lastSeq = page->messages.back().value(u"seq").toInt();
    for (int speed = 1; speed <= 20; ++speed)
        console->requestSpeed(0, speed);
    QTest::qWait(300);
    ASSERT_EQ(page->messages.size(), before + 1);
    const QJsonObject update = page->messages.back();
    EXPECT_EQ(update.value(u"seq").toInt(), lastSeq + 1);
    EXPECT_EQ(update.value(u"trains").toArray()[0].toObject().value(u"requested").toInt(), 20);
}

// Every answer, refusals too, forbids other sites to frame the panel and the browser to send a
// referrer; HEAD is answered as GET without the body.
TEST_F(PanelServerTest, HttpAnswersOnlyThePanelsOwnFilesWithTheirSafetyHeaders)
{
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server->port()) + "\r\n";
    const auto hasSafetyHeaders = [](const QByteArray &answer) {
        return answer.contains("\r\nContent-Security-Policy: default-src 'self'; "
                               "frame-ancestors 'none'\r\n") &&
               answer.contains("\r\nX-Frame-Options: DENY\r\n") &&
               answer.contains("\r\nReferrer-Policy: no-referrer\r\n") &&
               answer.contains("\r\nX-Content-Type-Options: nosniff\r\n");
    };
    for (const char *path : {"/", "/panel.js", "/panel.css", "/?token=00"}) {
        const QByteArray answer =
            httpGet(server->port(), "GET " + QByteArray(path) + " HTTP/1.1\r\n" + host + "\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << path << answer.left(100).constData();
        EXPECT_TRUE(hasSafetyHeaders(answer)) << path << answer.left(400).constData();
        const QByteArray head =
            httpGet(server->port(), "HEAD " + QByteArray(path) + " HTTP/1.1\r\n" + host + "\r\n");
        const qsizetype body = answer.indexOf("\r\n\r\n") + 4;
        EXPECT_EQ(head, answer.left(body)) << "HEAD " << path;
        EXPECT_TRUE(answer.contains("Content-Length: " + QByteArray::number(answer.size() - body)));
    }
    const std::pair<QByteArray, QByteArray> refused[] = {
        {"GET /../../etc/passwd HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"GET /index.html HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"GET /ws HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"POST / HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nabc", "HTTP/1.1 405"},
        {"OPTIONS / HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 405"},
        {"GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n", "HTTP/1.1 403"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"GET / HTTP/1.1\r\n" + host + "X: " + QByteArray(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"BREW / HTCPCP/1.0\r\n" + host + "\r\n", "HTTP/1.1 400"},
    };
    for (const auto &[request, status] : refused) {
        const QByteArray answer = httpGet(server->port(), request);
        EXPECT_TRUE(answer.startsWith(status)) << request.left(40).constData() << " -> "
                                               << answer.left(60).constData();
        EXPECT_TRUE(hasSafetyHeaders(answer)) << request.left(40).constData();
    }
    EXPECT_TRUE(httpGet(server->port(), "OPTIONS / HTTP/1.1\r\n" + host + "\r\n")
                    .contains("\r\nAllow: GET, HEAD\r\n"));
    // A connection that never finishes its request is dropped, and the console carried on.
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(idle.waitForConnected(2000));
    idle.write("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle.state() == QAbstractSocket::UnconnectedState; },
                                8000));
}

// The Host must name exactly the address and port the panel serves on; on loopback, localhost
// with that port too. Anything else could be another site's name for this machine.
TEST_F(PanelServerTest, OnlyTheServedAddressAndPortAreAHost)
{
    const QByteArray port = QByteArray::number(server->port());
    const std::pair<QByteArray, bool> hosts[] = {
        {"127.0.0.1:" + port, true},     {"localhost:" + port, true}, {"LOCALHOST:" + port, true},
        {"127.0.0.1:1", false},          {"1.2.3.4", false},          {"127.0.0.1:abc", false},
        {"127.0.0.1", false},            {"localhost", false},        {"127.0.0.2:" + port, false},
        {"[::1]:" + port, false},        {"127.1:" + port, false},    {"127.0.0.1:0" + port, false},
        {"127.0.0.1:" + port + ":", false}, {"127.0.0.1:+" + port, false},
    };
    for (const auto &[value, own] : hosts) {
        const QByteArray answer =
            httpGet(server->port(), "GET / HTTP/1.1\r\nHost: " + value + "\r\n\r\n");
        EXPECT_EQ(answer.startsWith("HTTP/1.1 200"), own) << value.constData() << " -> "
                                                            << answer.left(40).constData();
    }
}

// Connections beyond the door's budget wait their turn: every one is answered, none refused.
TEST_F(PanelServerTest, ConnectionsBeyondTheDoorsBudgetWaitTheirTurn)
{
    const QByteArray request = "GET /panel.css HTTP/1.1\r\nHost: 127.0.0.1:" +
                               QByteArray::number(server->port()) + "\r\n\r\n";
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<QByteArray> answers(PanelFront::kConnectionsPerSecond * 2);
    for (QByteArray &answer : answers) {
        auto &c = clients.emplace_back(std::make_unique<QTcpSocket>());
        QTcpSocket *socket = c.get();
        QObject::connect(socket, &QTcpSocket::connected, socket, [socket, &request] {
            socket->write(request);
        });
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [socket, &answer] { answer += socket->readAll(); });
        socket->connectToHost(QHostAddress::LocalHost, server->port());
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(answers.begin(), answers.end(), [](const QByteArray &a) {
                return a.startsWith("HTTP/1.1 200") && a.endsWith("}\n");
            });
        },
        5000));
}

// A connection carries one request: whatever follows it is never read, however it looks.
TEST_F(PanelServerTest, ARequestAfterTheFirstOnOneConnectionIsNeverAnswered)
{
    const QByteArray first = "GET /panel.css HTTP/1.1\r\nHost: 127.0.0.1:" +
                             QByteArray::number(server->port()) + "\r\n\r\n";
    for (const QByteArray &second :
         {QByteArray("GET /panel.js HTTP/1.1\r\nHost: evil.example\r\n\r\n"),
          "GET /panel.js HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(server->port()) +
              "\r\nX: " + QByteArray(20000, 'a') + "\r\n\r\n"}) {
        const QByteArray answer = httpGet(server->port(), first + second);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << answer.left(60).constData();
        EXPECT_EQ(answer.count("HTTP/1.1 "), 1) << answer.left(60).constData();
        EXPECT_TRUE(answer.contains("text/css"));
    }
    // A client that floods on after its request is not read for long.
    QTcpSocket flood;
    flood.connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(flood.waitForConnected(2000));
    flood.write(first + "more");
    QElapsedTimer clock;
    clock.start();
    while (flood.state() == QAbstractSocket::ConnectedState && clock.elapsed() < 2000) {
        if (flood.bytesToWrite() < 64 * 1024)
            flood.write(QByteArray(64 * 1024, 'x'));
        QTest::qWait(5);
    }
    EXPECT_NE(flood.state(), QAbstractSocket::ConnectedState) << "the door read on";
}

} // namespace
} // namespace relm::test
