// What arrives from the network, read before anyone acts on it: panel messages, request heads,
// and the --serve address.

#include "remote/panel_protocol.h"
#include "remote/remote_panel.h"
#include "remote/request_head.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(PanelMessageTest, ReadsEveryCommandWithItsFields)
{
    const auto read = [](const char *text) { return parsePanelMessage(text).request; };
    ASSERT_TRUE(read(R"({"type":"speed","train":2,"speed":128})"));
    EXPECT_EQ(read(R"({"type":"speed","train":2,"speed":128})")->speed, 128);
    EXPECT_EQ(read(R"({"speed":0,"train":0,"type":"speed"})")->train, 0);
    EXPECT_EQ(read(R"({"type":"hello","token":"0123456789abcdef0123456789abcdef"})")->token,
              QByteArray("0123456789abcdef0123456789abcdef"));
    for (const char *text : {R"({"type":"heartbeat"})", R"({"type":"transfer"})", R"({"type":"reset"})",
                             R"({"type":"stop","train":1})", R"({"type":"point","train":1})",
                             R"({"type":"reverse","train":1.0})"})
        EXPECT_TRUE(read(text)) << text;
    EXPECT_FALSE(isOperatorCommand(PanelCommand::Heartbeat));
    EXPECT_TRUE(isOperatorCommand(PanelCommand::Reset));
}

TEST(PanelMessageTest, RefusesWithAReason)
{
    const std::pair<QByteArray, const char *> bad[] = {
        {"", "not JSON"},
        {"[\"speed\"]", "not a JSON object"},
        {R"({"type":7})", "no \"type\" string"},
        {R"({"type":"speed","train":-1,"speed":5})", "\"train\" must be"},
        {R"({"type":"speed","train":0,"speed":-1})", "\"speed\" must be"},
        {R"({"type":"speed","train":0,"speed":1e300})", "\"speed\" must be"},
        {R"({"type":"speed","train":0})", "\"speed\" must be"},
        {R"({"type":"hello","token":"0123456789ABCDEF0123456789ABCDEF"})", "32 lower-case hex"},
        {R"({"type":"hello","token":"0123"})", "32 lower-case hex"},
        {R"({"type":"hello"})", "32 lower-case hex"},
        {R"({"type":"heartbeat","train":0})", "unexpected field \"train\""},
        {QByteArray(4097, ' '), "too large: 4097 bytes"},
        {R"({"type":"hello","type":"speed","train":1,"speed":3})", "\"type\" twice"},
        {R"({"type":"speed","train":1,"speed":3,"speed":4})", "\"speed\" twice"},
    };
    for (const auto &[text, reason] : bad) {
        const PanelParse p = parsePanelMessage(text);
        EXPECT_FALSE(p.request) << text.left(60).constData();
        EXPECT_TRUE(p.error.contains(QString::fromUtf8(reason)))
            << text.left(60).constData() << ": " << p.error.toStdString();
    }
}

TEST(RequestHeadTest, ReadsTheHeadOrSaysWhatIsWrong)
{
    const QByteArray upgrade = "GET /ws?x=1 HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nUpgrade: WebSocket\r\n"
                               "Connection: keep-alive, Upgrade\r\nOrigin: http://127.0.0.1:8080\r\n\r\n";
    EXPECT_EQ(requestHeadLength(upgrade + "rest"), upgrade.size());
    EXPECT_EQ(requestHeadLength(upgrade.left(20)), 0);
    EXPECT_EQ(requestHeadLength(QByteArray(kMaxRequestHeadBytes, 'a')), -1);
    const RequestHeadParse p = parseRequestHead(upgrade);
    ASSERT_TRUE(p.head) << p.error.toStdString();
    EXPECT_EQ(p.head->path, QByteArray("/ws"));
    EXPECT_TRUE(p.head->upgradeWebSocket);
    EXPECT_TRUE(isOwnOrigin(*p.head));
    EXPECT_TRUE(parseRequestHead("POST / HTTP/1.1\r\nHost: a\r\nContent-Length: 1\r\n\r\n").head->hasBody);

    for (const QByteArray &bad :
         {QByteArray("GET / HTTP/1.1\r\n\r\n"), QByteArray("GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n"),
          QByteArray("GET / HTTP/1.1\nHost: a\r\n\r\n"), QByteArray("GET  / HTTP/1.1\r\nHost: a\r\n\r\n"),
          QByteArray("GET x HTTP/1.1\r\nHost: a\r\n\r\n"), QByteArray("GET / HTTP/2\r\nHost: a\r\n\r\n"),
          QByteArray("GET / HTTP/1.1\r\nHost a\r\n\r\n"),
          QByteArray("GET / HTTP/1.1\r\nHost: a\r\nContent-Length: x\r\n\r\n")})
        EXPECT_FALSE(parseRequestHead(bad).head) << bad.constData();
}

// A head has at most 64 header lines: the door reads no more, however short they are.
TEST(RequestHeadTest, TakesAtMost64HeaderLines)
{
    const auto head = [](int lines) {
        QByteArray h = "GET / HTTP/1.1\r\nHost: a\r\n";
        for (int i = 1; i < lines; ++i)
            h += "X: " + QByteArray::number(i) + "\r\n";
        return h + "\r\n";
    };
    EXPECT_TRUE(parseRequestHead(head(64)).head);
    const RequestHeadParse tooMany = parseRequestHead(head(65));
    EXPECT_FALSE(tooMany.head);
    EXPECT_EQ(tooMany.error, QStringLiteral("too many header lines"));
}

// Serving on every address of the machine: each of its addresses with the port is a Host, and
// localhost with it since loopback is among them; no name is.
TEST(RequestHeadTest, OnAllAddressesEachOfTheMachinesAddressesIsAHost)
{
    const ServedAt all{80, {QStringLiteral("127.0.0.1"), QStringLiteral("192.168.1.20"),
                            QStringLiteral("::1"), QStringLiteral("fe80::1")},
                       true};
    for (const char *host :
         {"192.168.1.20", "192.168.1.20:80", "[::1]", "[FE80::1]:80", "localhost"})
        EXPECT_TRUE(isServedHost(host, all)) << host;
    for (const char *host : {"", "railpc", "railpc.local", "192.168.1.21", "192.168.1.20:8080",
                             "::1", "[::1", "[192.168.1.20]", "fe80::1:80"})
        EXPECT_FALSE(isServedHost(host, all)) << host;
    const ServedAt lan{8080, {QStringLiteral("192.168.1.20")}, false};
    EXPECT_TRUE(isServedHost("192.168.1.20:8080", lan));
    EXPECT_FALSE(isServedHost("localhost:8080", lan)) << "localhost is another machine to a phone";
}

TEST(ServeAddressTest, TakesPortAloneOrAddressAndPort)
{
    struct Case
    {
        const char *text;
        const char *address; // nullptr: refused
        quint16 port;
    };
    const Case cases[] = {
        {"8080", "127.0.0.1", 8080},  {"0", "127.0.0.1", 0},         {"0.0.0.0:80", "0.0.0.0", 80},
        {"[::1]:65535", "::1", 65535}, {"65536", nullptr, 0},         {"localhost:80", nullptr, 0},
        {":80", nullptr, 0},           {"127.0.0.1:", nullptr, 0},    {"-1", nullptr, 0},
        {"[::1]80", nullptr, 0},       {"1.2.3.4:+80", nullptr, 0},
    };
    for (const Case &c : cases) {
        QHostAddress address;
        quint16 port = 1;
        QString error;
        const bool ok = parseServeAddress(QString::fromLatin1(c.text), &address, &port, &error);
        EXPECT_EQ(ok, c.address != nullptr) << c.text << " " << error.toStdString();
        if (ok && c.address != nullptr) {
            EXPECT_EQ(address, QHostAddress(QString::fromLatin1(c.address))) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        } else {
            EXPECT_FALSE(error.isEmpty()) << c.text;
        }
    }
}

} // namespace
} // namespace relm
