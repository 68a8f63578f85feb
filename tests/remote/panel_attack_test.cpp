// The remote panel under attack from hostile clients on loopback: floods of frames and bytes,
// pages that read nothing, wrong tokens from many addresses, idle pages in every place. What
// the server holds for a page is measured as it counts it itself: bytes queued to send to the
// page and bytes buffered from it.

#include "panel_fixture.h"
#include "raw_page.h"

#include <QElapsedTimer>
#include <QTest>

namespace relm::test {
namespace {

using PanelAttackTest = PanelTest;

constexpr qint64 kMiB = 1024 * 1024;

QByteArray hello(const QByteArray &token)
{
    return "{\"type\":\"hello\",\"token\":\"" + token + "\"}";
}

const QByteArray kWrongToken(32, 'f');

// Writes frames for as long as the page stays open (at most `limit` ms or `frames` frames), as
// fast as the socket takes them, and returns the most the server held for its pages meanwhile.
qint64 flood(RawPage &page, PanelServer &server, const QByteArray &frames, int perWrite, long total,
             int limit)
{
    qint64 most = 0;
    long sent = 0;
    QElapsedTimer clock;
    clock.start();
    while (page.connected() && sent < total && clock.elapsed() < limit) {
        if (page.unsent() < 256 * 1024) {
            page.write(frames);
            sent += perWrite;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        most = std::max(most, server.heldBytes());
    }
    return most;
}

// 2 M pings of 125 bytes from a page that reads nothing, while no status frame flows: the
// server must neither queue their pongs nor buffer the pings, and closes the page at once.
TEST_F(PanelAttackTest, APingFloodFromAPageThatReadsNothingIsClosedHoldingLittle)
{
    RawPage page(server->port(), QStringLiteral("127.0.0.1"), false);
    ASSERT_TRUE(page.open());
    QByteArray ping; // FIN and ping, masked, 125 bytes of 'p'
    ping += char(0x89);
    ping += char(0x80 | 125);
    ping += QByteArray(4, '\x5a');
    ping += QByteArray(125, char('p' ^ 0x5a));
    const QByteArray block = ping.repeated(1000);
    QElapsedTimer clock;
    clock.start();
    const qint64 most = flood(page, *server, block, 1000, 2000000, 5000);
    EXPECT_FALSE(page.connected()) << "still open after 5 s";
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_LT(most, kMiB) << "held for the pages at most";
    QTest::qWait(100);
    EXPECT_EQ(notesWith(QStringLiteral("closed the page from 127.0.0.1")), 1);
    EXPECT_EQ(server->pages(), 0);
}

// Large messages as fast as a page can send them are not paid for in full: the page spends
// its byte budget within a moment and is closed, while another page goes on working.
TEST_F(PanelAttackTest, APageOverItsByteBudgetIsClosedAndOthersWorkOn)
{
    auto operating = operatingPage();
    RawPage page(server->port(), QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(page.open());
    QByteArray message(64 * 1024, 'x');
    QByteArray frame;
    frame += char(0x81);
    frame += char(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8)
        frame += char((quint64(message.size()) >> shift) & 0xFF);
    frame += QByteArray(4, '\0'); // mask 0: the payload as it is
    frame += message;
    const qint64 most = flood(page, *server, frame, 1, 100000, 5000);
    EXPECT_FALSE(page.connected());
    EXPECT_LT(most, kMiB);
    EXPECT_EQ(notesWith(QStringLiteral("closed the page from 127.0.0.2")), 1);
    operating->send(R"({"type":"speed","train":1,"speed":9})");
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[1] == 9; }, 2000));
}

// Pings, pongs and every other frame count against a page's rate as messages do: a command
// after 40 pings in one second is dropped unread, and the page is told.
TEST_F(PanelAttackTest, ControlFramesCountAgainstThePagesRate)
{
    RawPage page(server->port());
    ASSERT_TRUE(page.open());
    page.sendText(hello(kToken));
    ASSERT_TRUE(page.operating());
    now += 1000;
    for (int i = 0; i < 40; ++i)
        page.send(RawPage::Ping, "p");
    page.sendText(R"({"type":"speed","train":0,"speed":30})");
    EXPECT_TRUE(page.next(QStringLiteral("error"))
                    .value(u"message")
                    .toString()
                    .contains(QStringLiteral("too many messages")));
    EXPECT_EQ(module.SliderSpeed[0], 0);
}

// A page that reads its updates too slowly is closed once what waits for it passes the bound;
// the server never holds more for it than the bound and one message.
TEST_F(PanelAttackTest, APageThatReadsTooSlowlyIsClosedAtTheBound)
{
    RawPage page(server->port(), QStringLiteral("127.0.0.1"), false);
    ASSERT_TRUE(page.open());
    MapGeometry big; // the largest map there is, each corner a long number
    big.MapPolyCount = big.MapPointCount[100] = kMapMaxPolygons;
    for (int p = 0; p < kMapMaxPolygons; ++p)
        big.MapPointCount[static_cast<std::size_t>(p)] = kMapPointsPerSlot;
    for (MapPoint &pt : big.MapPoints)
        pt = {-2000000000, -2000000000};
    qint64 most = 0;
    QElapsedTimer clock;
    clock.start();
    // The page reads nothing, so it does not see its connection end either: the server says.
    while (server->pages() > 0 && clock.elapsed() < 20000) {
        server->setMap(big);
        QTest::qWait(10);
        most = std::max(most, server->heldBytes());
    }
    EXPECT_EQ(server->pages(), 0);
    EXPECT_LE(most, PanelServer::kMaxQueuedBytes + 64 * 1024);
    EXPECT_EQ(notesWith(QStringLiteral("read its updates too slowly")), 1);
}

// Wrong tokens, from one address or from many, never keep the right token out, from any of
// them; the server notes wrong tokens once a minute per address.
TEST_F(PanelAttackTest, WrongTokensFromAnyAddressNeverKeepTheRightTokenOut)
{
    const QString addresses[] = {QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2"),
                                 QStringLiteral("127.0.0.3")};
    for (const QString &from : addresses) {
        RawPage page(server->port(), from);
        ASSERT_TRUE(page.open()) << from.toStdString() << page.answer().constData();
        for (int i = 0; i < 6; ++i) {
            now += 500;
            page.sendText(R"({"type":"heartbeat"})");
            page.sendText(hello(kWrongToken));
            EXPECT_TRUE(page.next(QStringLiteral("error"))
                            .value(u"message")
                            .toString()
                            .contains(QStringLiteral("wrong token")));
        }
    }
    EXPECT_EQ(notesWith(QStringLiteral("wrong token")), 3) << "one per address";
    RawPage claiming(server->port(), QStringLiteral("127.0.0.4"));
    ASSERT_TRUE(claiming.open("/ws?token=" + kWrongToken)) << "as a page without the token";
    EXPECT_TRUE(claiming.next(QStringLiteral("error"))
                    .value(u"message")
                    .toString()
                    .contains(QStringLiteral("wrong token")));
    EXPECT_FALSE(claiming.operating(100));
    EXPECT_EQ(notesWith(QStringLiteral("wrong token")), 4);
    for (const QString &from : addresses) {
        RawPage page(server->port(), from);
        ASSERT_TRUE(page.open()) << from.toStdString() << page.answer().constData();
        page.sendText(hello(kToken));
        EXPECT_TRUE(page.operating()) << from.toStdString();
    }
    now += 60000;
    RawPage again(server->port(), QStringLiteral("127.0.0.2"));
    ASSERT_TRUE(again.open());
    again.sendText(hello(kWrongToken));
    again.next(QStringLiteral("error"));
    EXPECT_EQ(notesWith(QStringLiteral("wrong token")), 5) << "a minute later";
}

// However many addresses guess by hello, the server checks only so many tokens a second in all;
// the others wait their turn, the right one among them, and none is refused. A page that
// brings the token in its request is let in at once.
TEST_F(PanelAttackTest, TokenChecksAreBudgetedAcrossAllAddresses)
{
    std::vector<std::unique_ptr<RawPage>> guessers;
    for (int i = 0; i < PanelSessions::kMaxWatchingPages; ++i) {
        guessers.push_back(
            std::make_unique<RawPage>(server->port(), QStringLiteral("127.0.1.%1").arg(i + 1)));
        ASSERT_TRUE(guessers.back()->open()) << i;
    }
    RawPage &holder = *guessers.back(); // says hello last, with the right token
    for (auto &g : guessers)
        g->sendText(hello(&*g == &holder ? kToken : kWrongToken));
    QTest::qWait(300);
    const auto answered = [&] {
        int n = 0;
        for (auto &g : guessers)
            n += g->count(QStringLiteral("error"));
        return n;
    };
    EXPECT_EQ(answered(), PanelSessions::kTokenChecksPerSecond) << "while the clock stands";
    EXPECT_FALSE(holder.operating(100));
    Page claiming(server->port(), QStringLiteral("default"), QStringLiteral("127.0.0.1"),
                  QStringLiteral("/ws?token=") + QString::fromLatin1(kToken));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !claiming.messages.empty() &&
                   claiming.messages.back().value(u"control").toBool();
        },
        2000));
    now += 1000;
    EXPECT_TRUE(holder.operating());
    EXPECT_EQ(answered(), PanelSessions::kMaxWatchingPages - 1);
}

// Pages without the token, however many and however idle, leave room for the page that brings
// it; once they stop sending heartbeats they are closed as operating pages are.
TEST_F(PanelAttackTest, IdlePagesNeverKeepTheTokenHolderOut)
{
    std::vector<std::unique_ptr<RawPage>> idle;
    int admitted = 0;
    for (int i = 0; i < PanelSessions::kMaxPages; ++i) {
        idle.push_back(std::make_unique<RawPage>(
            server->port(), QStringLiteral("127.0.0.%1").arg(i % 5 + 1), false));
        admitted += idle.back()->open() ? 1 : 0;
    }
    EXPECT_EQ(admitted, PanelSessions::kMaxWatchingPages);
    RawPage fifth(server->port(), QStringLiteral("127.0.0.9"));
    EXPECT_FALSE(fifth.open()) << "every place for pages without the token is taken";
    EXPECT_TRUE(fifth.answer().startsWith("HTTP/1.1 503")) << fifth.answer().constData();

    auto holder = std::make_unique<Page>(
        server->port(), QStringLiteral("default"), QStringLiteral("127.0.0.1"),
        QStringLiteral("/ws?token=") + QString::fromLatin1(kToken));
    ASSERT_TRUE(holder->connected());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !holder->messages.empty() && holder->messages.back().value(u"control").toBool();
        },
        2000));
    holder->send(R"({"type":"speed","train":0,"speed":12})");
    EXPECT_TRUE(QTest::qWaitFor([&] { return module.SliderSpeed[0] == 12; }, 2000));

    for (int i = 0; i < 3; ++i) {
        now += 1000;
        holder->send(R"({"type":"heartbeat"})");
        QTest::qWait(50);
        server->checkHeartbeats();
    }
    EXPECT_EQ(server->pages(), 1) << "the silent pages are gone, the holder stays";
    EXPECT_EQ(module.SliderSpeed[0], 12);
}

// One address takes at most its share of the places for pages without the token.
TEST_F(PanelAttackTest, OneAddressTakesAtMostItsShareOfThePlaces)
{
    std::vector<std::unique_ptr<RawPage>> pages;
    for (int i = 0; i <= PanelSessions::kMaxWatchingPerAddress; ++i) {
        pages.push_back(std::make_unique<RawPage>(server->port(), QStringLiteral("127.0.0.7")));
        EXPECT_EQ(pages.back()->open(), i < PanelSessions::kMaxWatchingPerAddress) << i;
    }
    RawPage other(server->port(), QStringLiteral("127.0.0.8"));
    EXPECT_TRUE(other.open());
}

} // namespace
} // namespace relm::test
