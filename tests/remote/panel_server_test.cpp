// The remote panel over loopback, with real WebSocket and HTTP clients and the console on a
// pseudo-terminal: the state pages get, every command, who may operate, the front door's checks,
// limits and bad messages, and the dead-man rule on a clock the test moves.

#include "controller_pty.h"

#include "console/console.h"
#include "remote/panel_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <unistd.h>

namespace relm {
namespace {

const QByteArray kToken = "0123456789abcdef0123456789abcdef";

// One page: a WebSocket client and everything it has been sent.
class Page
{
public:
    explicit Page(quint16 port, const QString &origin = QStringLiteral("default"),
                  const QString &host = QStringLiteral("127.0.0.1"))
        : m_socket(origin == u"default" ? QStringLiteral("http://%1:%2").arg(host).arg(port) : origin)
    {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1:%2/ws").arg(host).arg(port)));
        m_socket.open(request);
    }

    bool connected(int ms = 3000)
    {
        return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                               ms);
    }
    bool refused(int ms = 3000)
    {
        return QTest::qWaitFor(
            [this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }

    void send(const QByteArray &text) { m_socket.sendTextMessage(QString::fromUtf8(text)); }
    void sendBinary(const QByteArray &bytes) { m_socket.sendBinaryMessage(bytes); }
    void close() { m_socket.close(); }
    void abort() { m_socket.abort(); }

    // The newest message of a type, after waiting until one more than `after` has come.
    QJsonObject next(const QString &type, int ms = 2000)
    {
        const auto count = [&] {
            return std::count_if(messages.begin(), messages.end(), [&](const QJsonObject &m) {
                return m.value(u"type").toString() == type;
            });
        };
        const auto before = seen[type];
        if (!QTest::qWaitFor([&] { return count() > before; }, ms))
            return {};
        seen[type] = count();
        for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
            if (it->value(u"type").toString() == type)
                return *it;
        }
        return {};
    }

    std::vector<QJsonObject> messages;
    std::map<QString, std::ptrdiff_t> seen;

private:
    QWebSocket m_socket;
};

class PanelServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_pty.ok())
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        m_master = m_pty.master();
        console.emplace(module, QString::fromStdString(m_pty.device()));
        QString error;
        ASSERT_TRUE(console->start(&error)) << error.toStdString();
        server.emplace(*console, kToken, [this] { return now; });
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
        MapGeometry map;
        map.MapPolyCount = map.MapPointCount[100] = 2;
        map.MapPointCount[0] = map.MapPointCount[1] = 3;
        server->setMap(map);
    }

    void TearDown() override
    {
        server.reset();
        console.reset();
    }

    // A page that has said hello with the right token and been told it may operate.
    std::unique_ptr<Page> operatingPage()
    {
        auto page = std::make_unique<Page>(server->port());
        EXPECT_TRUE(page->connected());
        page->next(QStringLiteral("state"));
        page->send("{\"type\":\"hello\",\"token\":\"" + kToken + "\"}");
        EXPECT_TRUE(page->next(QStringLiteral("state")).value(u"control").toBool());
        return page;
    }

    QByteArray written()
    {
        QTest::qWait(50);
        QByteArray out(65536, '\0');
        out.resize(std::max<qsizetype>(::read(m_master, out.data(), out.size()), 0));
        return out;
    }

    qint64 now = 0;
    Module1 module;
    std::optional<Console> console;
    std::optional<PanelServer> server;
    test::ControllerPty m_pty;
    int m_master = -1;
};

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

// Five wrong tokens from one address within a minute lock it out for a minute: no hello and no
// new page from there, even with the right token; after the minute the right token works.
TEST_F(PanelServerTest, WrongTokensLockTheAddressOutForAMinute)
{
    Page page(server->port());
    ASSERT_TRUE(page.connected());
    page.next(QStringLiteral("state"));
    const QByteArray wrong = "{\"type\":\"hello\",\"token\":\"" + QByteArray(32, 'f') + "\"}";
    for (int i = 0; i < 4; ++i) {
        now += 10000;
        page.send(wrong);
        EXPECT_TRUE(page.next(QStringLiteral("error")).value(u"message").toString().contains(
            QStringLiteral("wrong token")));
    }
    now += 30000; // the first wrong token is now more than a minute old
    page.send(wrong);
    page.next(QStringLiteral("error"));
    page.send("{\"type\":\"hello\",\"token\":\"" + kToken + "\"}");
    EXPECT_TRUE(page.next(QStringLiteral("state")).value(u"control").toBool()) << "four in a minute";

    Page other(server->port());
    ASSERT_TRUE(other.connected());
    other.send(wrong);
    other.next(QStringLiteral("error"));
    EXPECT_TRUE(page.next(QStringLiteral("state"), 200).isEmpty()); // nothing changed for page
    Page locked(server->port());
    EXPECT_TRUE(locked.refused());
    other.send("{\"type\":\"hello\",\"token\":\"" + kToken + "\"}");
    EXPECT_TRUE(other.next(QStringLiteral("error")).value(u"message").toString().contains(
        QStringLiteral("locked out")));
    now += 60000;
    Page later(server->port());
    EXPECT_TRUE(later.connected());
}

TEST_F(PanelServerTest, OnlyThePanelsOwnOriginAndHostGetAWebSocketAndAtMostSixteenPages)
{
    const QString own = QStringLiteral("http://127.0.0.1:%1").arg(server->port());
    EXPECT_TRUE(Page(server->port(), QStringLiteral("http://evil.example")).refused());
    EXPECT_TRUE(Page(server->port(), QString()).refused()) << "no Origin at all";
    EXPECT_TRUE(Page(server->port(), own + u'0').refused()) << "another port";
    // A name that only resolves here, as a rebinding site would use it.
    EXPECT_TRUE(Page(server->port(), QStringLiteral("http://rebind.example:%1").arg(server->port()),
                     QStringLiteral("rebind.example")).refused(5000))
        << "another site's name";

    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < PanelSessions::kMaxPages; ++i) {
        pages.push_back(std::make_unique<Page>(server->port()));
        ASSERT_TRUE(pages.back()->connected()) << i;
    }
    EXPECT_TRUE(Page(server->port()).refused());
    pages.back()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->pages() < PanelSessions::kMaxPages; }, 2000));
    EXPECT_TRUE(Page(server->port()).connected());
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
    // A flood is answered once, and the page still works afterwards.
    for (int i = 0; i < 200; ++i)
        page->send(R"({"type":"heartbeat"})");
    EXPECT_TRUE(page->next(QStringLiteral("error")).value(u"message").toString().contains(
        QStringLiteral("too many messages")));
    now += 2000;
    page->send(R"({"type":"heartbeat"})");
    page->send(R"({"type":"speed","train":2,"speed":7})");
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[2] == 7; }, 2000));
}

// A page that set a train moving and goes away, by closing, by losing its connection or by
// falling silent, stops that train; a train someone else has set since keeps going.
TEST_F(PanelServerTest, TrainsAPageSetMovingStopWhenItGoesAway)
{
    std::vector<QString> notes;
    QObject::connect(&*console, &Console::noteRecorded,
                     [&](qint64, const QString &text) { notes.push_back(text); });
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

// One request on a fresh connection; the whole answer, once the server has closed it. The
// server runs in this thread, so the client waits in the event loop.
QByteArray httpGet(quint16 port, const QByteArray &request)
{
    QTcpSocket socket;
    QByteArray answer;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { answer += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 2000))
        return {};
    socket.write(request);
    const bool closed =
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
    return closed ? answer : QByteArray("(the server kept the connection open)");
}

TEST_F(PanelServerTest, HttpAnswersOnlyThePanelsOwnFilesWithTheirSafetyHeaders)
{
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(server->port()) + "\r\n";
    for (const char *path : {"/", "/panel.js", "/panel.css", "/?token=00"}) {
        const QByteArray answer =
            httpGet(server->port(), "GET " + QByteArray(path) + " HTTP/1.1\r\n" + host + "\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 200")) << path << answer.left(100).constData();
        EXPECT_TRUE(answer.contains("Content-Security-Policy: default-src 'self'")) << path;
        EXPECT_TRUE(answer.contains("X-Content-Type-Options: nosniff")) << path;
    }
    const std::pair<QByteArray, QByteArray> refused[] = {
        {"GET /../../etc/passwd HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"GET /index.html HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"GET /ws HTTP/1.1\r\n" + host + "\r\n", "HTTP/1.1 404"},
        {"POST / HTTP/1.1\r\n" + host + "Content-Length: 3\r\n\r\nabc", "HTTP/1.1 405"},
        {"GET / HTTP/1.1\r\nHost: evil.example\r\n\r\n", "HTTP/1.1 403"},
        {"GET / HTTP/1.1\r\n\r\n", "HTTP/1.1 400"},
        {"GET / HTTP/1.1\r\n" + host + "X: " + QByteArray(9000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
        {"BREW / HTCPCP/1.0\r\n" + host + "\r\n", "HTTP/1.1 400"},
    };
    for (const auto &[request, status] : refused) {
        const QByteArray answer = httpGet(server->port(), request);
        EXPECT_TRUE(answer.startsWith(status)) << request.left(40).constData() << " -> "
                                               << answer.left(60).constData();
        EXPECT_TRUE(answer.contains("X-Content-Type-Options: nosniff"));
    }
    // A connection that never finishes its request is dropped, and the console carried on.
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, server->port());
    ASSERT_TRUE(idle.waitForConnected(2000));
    idle.write("GET / HTTP/1.1\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle.state() == QAbstractSocket::UnconnectedState; },
                                8000));
}

} // namespace
} // namespace relm
