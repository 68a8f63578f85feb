// The throttle server over loopback, with real sockets, the console on a pseudo-terminal and a
// clock the test moves: the greeting, acquiring, speed, the emergency stop, direction, points,
// shared trains, the dead-man rule, limits and floods.

#include "controller_pty.h"

#include "console/console.h"
#include "withrottle/throttle_server.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace relm {
namespace {

// One throttle: a socket and every line it has been sent.
class Throttle
{
public:
    explicit Throttle(quint16 port)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
            m_pending += m_socket.readAll().toStdString();
            for (std::size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
                lines.push_back(m_pending.substr(0, end));
                m_pending.erase(0, end + 1);
            }
        });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
    }

    void send(const QByteArray &line) { write(line + "\r\n"); }
    void write(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }
    void abort() { m_socket.abort(); }
    // From now on nothing is read: the lines sent to it stay in the network's buffers.
    void stopReading()
    {
        QObject::disconnect(&m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        m_socket.setReadBufferSize(1);
    }

    // Waits for a line that starts with prefix, after the last one found; returns it whole.
    std::string next(std::string_view prefix, int ms = 2000)
    {
        std::string found;
        [[maybe_unused]] const bool arrived = QTest::qWaitFor(
            [&] {
                for (; m_seen < lines.size(); ++m_seen) {
                    if (lines[m_seen].starts_with(prefix)) {
                        found = lines[m_seen++];
                        return true;
                    }
                }
                return false;
            },
            ms);
        return found;
    }
    // Every line since the last one found, up to a line the throttle asks for now (a query of
    // the speed-step mode of what it holds on throttle 0): all the server sent before it.
    std::vector<std::string> upToNow()
    {
        send("M0A*<;>qs");
        const std::size_t from = m_seen;
        next("M0A");
        return {lines.begin() + static_cast<std::ptrdiff_t>(from),
                lines.begin() + static_cast<std::ptrdiff_t>(m_seen) - 1};
    }
    bool closed(int ms = 2000)
    {
        return QTest::qWaitFor(
            [&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    // Greeted, acquired key on throttle 0 and told its state.
    void acquire(const char *key, const char *what)
    {
        send(QByteArray("M0+") + key + "<;>" + what);
        EXPECT_EQ(next("M0+"), std::string("M0+") + key + "<;>");
        EXPECT_EQ(next("M0A"), std::string("M0A") + key + "<;>V0");
        EXPECT_EQ(next("M0A"), std::string("M0A") + key + "<;>R1");
        EXPECT_EQ(next("M0A"), std::string("M0A") + key + "<;>s1");
    }

    std::vector<std::string> lines;

private:
    QTcpSocket m_socket;
    std::string m_pending;
    std::size_t m_seen = 0;
};

class ThrottleServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!m_pty.ok())
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        QDir::setCurrent(m_dir.path());
        console.emplace(module, QString::fromStdString(m_pty.device()));
        QString error;
        ASSERT_TRUE(console->start(&error)) << error.toStdString();
        QObject::connect(console.operator->(), &Console::noteRecorded, &m_context,
                         [this](qint64, const QString &text) { notes.push_back(text); });
        QObject::connect(console.operator->(), &Console::statusDecoded, &m_context,
                         [this] { ++decoded; });
        server.emplace(*console, [this] { return now; });
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    }

    void TearDown() override
    {
        server.reset();
        console.reset();
        QDir::setCurrent(m_previous);
    }

    std::unique_ptr<Throttle> connected()
    {
        auto t = std::make_unique<Throttle>(server->port());
        EXPECT_EQ(t->next("*"), "*4") << "greeted";
        return t;
    }

    QByteArray written()
    {
        QTest::qWait(50);
        QByteArray out(65536, '\0');
        out.resize(std::max<qsizetype>(::read(m_pty.master(), out.data(), out.size()), 0));
        return out;
    }

    // Transfer with X in route 0 section 1 and Y in route 1 section 3, Z absent; the cycle's ticks
    // are the test's from then on, beginning with the initialisation frame.
    void run()
    {
        QFile image(QStringLiteral("atctest.bin"));
        ASSERT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(100, '\x5A'));
        image.close();
        QFile ini(QStringLiteral("atc.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(
            " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n");
        ini.close();
        console->transfer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return console->Timer1.isActive(); }, 3000));
        console->Timer1.stop();
        console->onTick();
        written();
    }

    // A status frame with X and Y where they were placed, at the reported speeds.
    void report(int xSpeed, int ySpeed)
    {
        QByteArray frame = QByteArray::fromHex(
            "01 00 02 00 00 00 00 00  0B 0A 0C 00 00 00 00 00  80 80 80 00 00 00 00 00");
        frame[5] = static_cast<char>(xSpeed);
        frame[13] = static_cast<char>(ySpeed);
        const int before = decoded;
        ASSERT_EQ(::write(m_pty.master(), frame.constData(), 24), 24);
        ASSERT_TRUE(QTest::qWaitFor([&] { return decoded > before; }, 2000));
    }

    // X's speed in the command frame the next tick sends.
    int xSpeedInNextFrame()
    {
        console->onTick();
        const QByteArray frame = written();
        EXPECT_GE(frame.size(), 14);
        return frame.size() >= 14 ? static_cast<unsigned char>(frame[5]) : -1;
    }

    bool noted(const char *text) const
    {
        return std::any_of(notes.begin(), notes.end(),
                           [&](const QString &n) { return n.contains(QString::fromUtf8(text)); });
    }

    qint64 now = 0;
    Module1 module;
    std::optional<Console> console;
    std::optional<ThrottleServer> server;
    std::vector<QString> notes;
    int decoded = 0; // status frames

private:
    QTemporaryDir m_dir;
    QString m_previous = QDir::currentPath();
    test::ControllerPty m_pty;
    QObject m_context;
};

TEST_F(ThrottleServerTest, GreetsAndAcquiresByAddressAndByNameAnsweringInTheKeyUsed)
{
    Throttle t(server->port());
    for (const char *line : {"VN2.0", "RL3]\\[X}|{1}|{S]\\[Y}|{2}|{S]\\[Z}|{3}|{S", "PPA0", "PTT]",
                             "PTL]\\[PX1}|{", "*4"})
        EXPECT_TRUE(t.next(line).starts_with(line)) << line;
    ASSERT_TRUE(noted("スロットル接続: #1 (127.0.0.1)"));
    // N is answered with the period every time, as a heartbeat's second line is.
    t.send("NPixel 7");
    EXPECT_EQ(t.next("*"), "*4");
    t.send("NPixel 7");
    EXPECT_EQ(t.next("*"), "*4");
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                            [](const QString &n) { return n.contains(u"Pixel 7"); }),
              1);
    // A name reaches the monitor, the log and the terminal as printable text only.
    t.send("N\x1b[2JBell\x07 \xf0\x9f\x9a\x82 ");
    EXPECT_EQ(t.next("*"), "*4");
    EXPECT_TRUE(noted("の名前: ?[2JBell? 🚂")) << notes.back().toStdString();

    t.acquire("S1", "S1");
    t.acquire("EY", "EY");
    t.acquire("S3", "EZ"); // by roster entry, keyed by address
    for (const char *refused :
         {"M0+S4<;>S4", "M0+L1<;>L1", "M0+EW<;>EW", "M0+S2<;>EX", "M0+EX<;>S1"}) {
        t.send(refused);
        EXPECT_TRUE(t.next("HM").size() > 2) << refused;
    }
    // X on throttle 0 already, under another key.
    t.send("M0+EX<;>EX");
    EXPECT_EQ(t.next("HM"), "HMX is on throttle 0 already, as S1");
    const std::vector<std::string> rest = t.upToNow();
    EXPECT_TRUE(std::none_of(rest.begin(), rest.end(),
                             [](const std::string &l) { return l.starts_with("M0+"); }));
    // Released, each confirmed in its key; the desk has the trains again.
    t.send("M0-*<;>r");
    EXPECT_EQ(t.next("M0-"), "M0-S1<;>");
    EXPECT_EQ(t.next("M0-"), "M0-EY<;>");
    EXPECT_EQ(t.next("M0-"), "M0-S3<;>");
}

TEST_F(ThrottleServerTest, SpeedGoesThroughTheConsoleAndEveryHolderIsToldInItsKey)
{
    auto a = connected();
    auto b = connected();
    a->acquire("S1", "S1");
    b->send("MT+EX<;>EX");
    b->next("MTAEX<;>s1");

    a->send("M0A*<;>V63");
    EXPECT_EQ(b->next("MTA"), "MTAEX<;>V63");
    EXPECT_EQ(module.SliderSpeed[0], consoleSpeedOf(63));
    EXPECT_EQ(console->train(0).sliderPosition, 128 - consoleSpeedOf(63)); // the window's slider
    EXPECT_TRUE(console->mover(0)) << "a answers for X";
    EXPECT_TRUE(a->upToNow().empty()) << "its own speed comes back as no news";

    console->moveSlider(0, 0); // the desk takes over: full speed
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>V126");
    EXPECT_EQ(b->next("MTA"), "MTAEX<;>V126");
    b->send("MTA*<;>I"); // 停止
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>V0");
    EXPECT_EQ(b->next("MTA"), "MTAEX<;>V0");
    EXPECT_EQ(console->train(0).sliderPosition, kSliderMaximum);
    a->send("M0A*<;>V127");
    EXPECT_EQ(a->next("HM"), "HMSpeed 0 to 126 only");
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>V0");
    a->send("M0A*<;>qV");
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>V0");
}

TEST_F(ThrottleServerTest, EmergencyStopPutsSpeedZeroIntoTheVeryNextFrame)
{
    run();
    report(0, 0);
    auto a = connected();
    a->acquire("S1", "S1");
    a->send("M0A*<;>V126");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[0] == 128; }, 2000));
    report(0, 0);
    EXPECT_EQ(xSpeedInNextFrame(), 20);
    EXPECT_EQ(xSpeedInNextFrame(), 40);
    a->send("M0A*<;>X");
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>V0");
    EXPECT_EQ(xSpeedInNextFrame(), 0) << "not ramped down by 20";
    EXPECT_EQ(console->train(0).sliderPosition, kSliderMaximum); // shown as a stop
    EXPECT_TRUE(noted("列車 X 非常停止"));
    report(30, 0); // still rolling: it stays at 0, and nothing starts it again
    EXPECT_EQ(xSpeedInNextFrame(), 0);
}

TEST_F(ThrottleServerTest, DirectionChangeReversesAStandingTrainAndIsRefusedForAMovingOne)
{
    auto a = connected();
    a->acquire("S1", "S1");
    a->send("M0A*<;>R0"); // nothing reported yet
    EXPECT_EQ(a->next("HM"), "HMNo report of X yet: direction unchanged");
    EXPECT_EQ(a->next("M0A"), "M0AS1<;>R1");

    run();
    report(0, 0);
    a->acquire("S2", "S2");
    a->send("M0AS2<;>V126");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[1] == 128; }, 2000));
    report(0, 0);
    xSpeedInNextFrame(); // Y is sent speed 20
    report(0, 10);
    a->send("M0AS2<;>R0");
    EXPECT_EQ(a->next("HM"), "HMY is moving: stop it before changing direction");
    EXPECT_EQ(a->next("M0A"), "M0AS2<;>R1") << "its true direction";
    EXPECT_EQ(module.RevState[1], kRevIdle);

    a->send("M0AS1<;>R0"); // X stands
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.RevState[0] == kRevRequested; }, 2000));
    EXPECT_EQ(console->train(0).reverseColour, kRequestColour); // as from its 逆転 button
    a->send("M0AS1<;>R0"); // asked again: already under way, nothing withdrawn
    EXPECT_TRUE(a->upToNow().empty());
    EXPECT_EQ(module.RevState[0], kRevRequested);
}

TEST_F(ThrottleServerTest, APointCommandIsPointAndEveryThrottleSeesItsState)
{
    auto a = connected();
    auto b = connected();
    a->send("PTA2PX1");
    EXPECT_EQ(a->next("PTA"), "PTA4PX1");
    EXPECT_EQ(b->next("PTA"), "PTA4PX1");
    EXPECT_EQ(module.PointReq[0], 1);
    EXPECT_EQ(console->train(0).pointColour, kRequestColour);
    b->send("PTATPX1"); // thrown already: no change, but b hears the state again
    EXPECT_EQ(b->next("PTA"), "PTA4PX1");
    EXPECT_EQ(module.PointReq[0], 1);
    b->send("PTACPX1");
    EXPECT_EQ(a->next("PTA"), "PTA2PX1");
    EXPECT_EQ(module.PointReq[0], 0);
    a->send("PTA2PQ1");
    EXPECT_EQ(a->next("HM"), "HMNo point PQ1 here: the points are PX1, PY1 and PZ1");
    a->send("PPA1");
    EXPECT_EQ(a->next("HM"), "HMTrack power is switched at the RELM console (Transfer, Reset)");
    EXPECT_EQ(a->next("PPA"), "PPA0");
    a->send("MTSS1<;>S1");
    EXPECT_EQ(a->next("HM"), "HMTrains are shared here: acquire them as usual, nothing to steal");
}

// Each connection answers for the trains it was the last to set moving: silence past the
// heartbeat period and its margin, or a socket gone without Q, stops them as 停止 does; Q
// leaves them to the desk, running.
TEST_F(ThrottleServerTest, SilenceOrALostSocketStopsOnlyTheTrainsThatThrottleSetMoving)
{
    auto a = connected();
    auto b = connected();
    a->acquire("S1", "S1");
    b->acquire("S2", "S2");
    a->send("M0A*<;>V50");
    b->send("M0A*<;>V50");
    console->requestSpeed(2, 40); // the desk's Z
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return module.SliderSpeed[0] > 0 && module.SliderSpeed[1] > 0; }, 2000));

    now += ThrottleSession::kSilenceLimitMs - 1000;
    a->send("*");
    a->upToNow(); // the server has read the heartbeat
    now += 1000;
    server->checkTimers();
    EXPECT_EQ(b->next("HM"), "HMNo word from this throttle for 5 s: Y stopped");
    EXPECT_EQ(b->next("M0A"), "M0AS2<;>V0");
    EXPECT_EQ(module.SliderSpeed[1], 0);
    EXPECT_EQ(module.SliderSpeed[0], consoleSpeedOf(50));
    EXPECT_EQ(module.SliderSpeed[2], 40);
    EXPECT_TRUE(noted("から 5 秒間応答なし: 列車 Y を停止"));
    b->send("*"); // back again: Y stays stopped
    b->upToNow();
    EXPECT_EQ(module.SliderSpeed[1], 0);

    a->abort(); // Wi-Fi gone
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[0] == 0; }, 2000));
    EXPECT_TRUE(noted("がいなくなりました (接続が切れました): 列車 X を停止"));

    b->send("M0A*<;>V60");
    b->send("Q");
    EXPECT_TRUE(b->closed());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->clients() == 0; }, 2000));
    EXPECT_EQ(module.SliderSpeed[1], consoleSpeedOf(60));
    EXPECT_EQ(console->mover(1), std::nullopt);
    EXPECT_TRUE(noted("列車 Y は走行を続けます"));
}

TEST_F(ThrottleServerTest, FloodsLongLinesStrangersAndIdleConnectionsAreBounded)
{
    auto a = connected();
    a->acquire("S1", "S1");
    now += 1000;
    // Lines beyond 40 a second are dropped; never-acted-on lines change nothing.
    QByteArray burst;
    for (int v = 1; v <= 60; ++v)
        burst += "M0A*<;>V" + QByteArray::number(v) + "\n";
    a->write(burst);
    EXPECT_EQ(a->next("HM"), "HMToo many lines: at most 40 a second, the rest are dropped");
    EXPECT_EQ(module.SliderSpeed[0], consoleSpeedOf(40));
    now += 1000;
    a->write("D2ABCDEF\nRCP<:>S1\nTV10\nM0AS1<;>F112\n" + QByteArray(2000, 'N') + "\r\n");
    EXPECT_EQ(a->next("HM"), "HMLine too long (over 1024 bytes): dropped");
    EXPECT_EQ(module.SliderSpeed[0], consoleSpeedOf(40));

    // Sixteen throttles at once; the seventeenth is told so and closed.
    std::vector<std::unique_ptr<Throttle>> more;
    for (int i = 1; i < ThrottleServer::kMaxClients; ++i)
        more.push_back(connected());
    Throttle extra(server->port());
    EXPECT_EQ(extra.next("HM"), "HMRELM serves at most 16 throttles at once");
    EXPECT_TRUE(extra.closed());
    EXPECT_EQ(server->clients(), ThrottleServer::kMaxClients);

    // Ten seconds with nothing understood closes a connection; a heartbeat keeps one open.
    more.front()->write("D1234\n");
    a->send("*");
    now += ThrottleSession::kUsefulWithinMs - 1;
    a->send("*");
    a->upToNow();
    now += 1;
    server->checkTimers();
    for (const auto &t : more)
        EXPECT_TRUE(t->closed());
    EXPECT_EQ(server->clients(), 1);
    EXPECT_TRUE(noted("10 秒間 理解できる行がありません"));
}

// A throttle that never reads has its connection closed once its lines pile up, and its
// trains stop as for any lost connection.
TEST_F(ThrottleServerTest, AThrottleThatNeverReadsIsClosed)
{
    auto a = connected();
    a->acquire("S1", "S1");
    a->send("M0A*<;>V50");
    ASSERT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[0] > 0; }, 2000));
    a->stopReading();
    // Each answered with an alert naming the point: about 1 kB a line.
    const QByteArray refused =
        ("PTA2" + QByteArray(1000, 'Q') + '\n').repeated(ThrottleSession::kLinesPerSecond);
    for (int second = 0; second < 1000 && server->clients() > 0; ++second) {
        now += 1000;
        a->write(refused);
        QTest::qWait(5);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->clients() == 0; }, 5000));
    EXPECT_TRUE(noted("送信がたまりすぎました"));
    EXPECT_EQ(module.SliderSpeed[0], 0);
}

} // namespace
} // namespace relm
