#include "panel_fixture.h"

#include <QJsonDocument>
#include <QNetworkRequest>
#include <QTcpSocket>
#include <QTest>

#include <unistd.h>

namespace relm::test {

Page::Page(quint16 port, const QString &origin, const QString &host, const QString &target)
    : m_socket(origin == u"default" ? QStringLiteral("http://%1:%2").arg(host).arg(port) : origin)
{
    QObject::connect(&m_socket, &QWebSocket::textMessageReceived, &m_socket,
                     [this](const QString &text) {
                         messages.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
                     });
    m_socket.open(
        QNetworkRequest(QUrl(QStringLiteral("ws://%1:%2%3").arg(host).arg(port).arg(target))));
}

bool Page::connected(int ms)
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; },
                           ms);
}

bool Page::refused(int ms)
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
                           ms);
}

QJsonObject Page::next(const QString &type, int ms)
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

void PanelTest::SetUp()
{
    if (!m_pty.ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    m_master = m_pty.master();
    console.emplace(module, QString::fromStdString(m_pty.device()));
    QString error;
    ASSERT_TRUE(console->start(&error)) << error.toStdString();
    QObject::connect(&*console, &Console::noteRecorded, &*console,
                     [this](qint64, const QString &text) { notes.push_back(text); });
    server.emplace(*console, kToken, [this] { return now; });
    ASSERT_TRUE(server->listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    MapGeometry map;
    map.MapPolyCount = map.MapPointCount[100] = 2;
    map.MapPointCount[0] = map.MapPointCount[1] = 3;
    server->setMap(map);
}

void PanelTest::TearDown()
{
    server.reset();
    console.reset();
}

std::unique_ptr<Page> PanelTest::operatingPage()
{
    auto page = std::make_unique<Page>(server->port());
    EXPECT_TRUE(page->connected());
    page->next(QStringLiteral("state"));
    page->send("{\"type\":\"hello\",\"token\":\"" + kToken + "\"}");
    EXPECT_TRUE(page->next(QStringLiteral("state")).value(u"control").toBool());
    return page;
}

QByteArray PanelTest::written()
{
    QTest::qWait(50);
    QByteArray out(65536, '\0');
    out.resize(std::max<qsizetype>(::read(m_master, out.data(), out.size()), 0));
    return out;
}

int PanelTest::notesWith(const QString &text) const
{
    return static_cast<int>(std::count_if(notes.begin(), notes.end(),
                                          [&](const QString &n) { return n.contains(text); }));
}

QByteArray httpGet(quint16 port, const QByteArray &request)
{
    QByteArray answer; // outlives the socket whose reads fill it
    QTcpSocket socket;
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] { answer += socket.readAll(); });
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 2000))
        return {};
    socket.write(request);
    const bool closed =
        QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
    return closed ? answer : QByteArray("(the server kept the connection open)");
}

} // namespace relm::test
