#include "remote/panel_server.h"

#include "console/console.h"
#include "remote/panel_protocol.h"
#include "remote/panel_state.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTcpSocket>

namespace relm {

namespace {

constexpr int kHeartbeatCheckMs = 500;
constexpr std::size_t kKeptLatencies = 100000;

QByteArray quoted(const QString &text)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("t"), text}})
        .toJson(QJsonDocument::Compact)
        .mid(5)
        .chopped(1);
}

} // namespace

PanelServer::PanelServer(Console &console, QByteArray token, PanelSessions::Clock clock,
                         QObject *parent)
    : QObject(parent)
    , m_console(console)
    , m_token(token)
    , m_clock(clock)
    , m_sessions(console, token, clock)
{
    m_front.setPages(
        [this](const QHostAddress &peer, const QByteArray &pageToken) {
            return m_sessions.refusal(peer.toString(), pageToken);
        },
        [this](QTcpSocket *socket, const QByteArray &pageToken) {
            onPageOpened(socket, pageToken);
        });

    // What the console reports reaches every page.
    connect(&console, &Console::trainChanged, this, [this] { stateChanged(false); });
    connect(&console, &Console::displayChanged, this, [this] { stateChanged(false); });
    connect(&console, &Console::operatorCommand, this, [this] { stateChanged(false); });
    connect(&console, &Console::statusDecoded, this, [this] { stateChanged(true); });
    connect(&console, &Console::notice, this,
            [this](const QString &text, bool) { broadcast("notice", "\"text\":" + quoted(text)); });

    m_heartbeats.setInterval(kHeartbeatCheckMs);
    connect(&m_heartbeats, &QTimer::timeout, this, &PanelServer::checkHeartbeats);
    m_heartbeats.start();
    m_tokenChecks.setSingleShot(true);
    connect(&m_tokenChecks, &QTimer::timeout, this, &PanelServer::runTokenChecks);
}

PanelServer::~PanelServer()
{
    // Pages that go with the server stop the trains they drive.
    std::vector<int> ids;
    for (const auto &[id, p] : m_pages)
        ids.push_back(id);
    for (const int id : ids)
        closePage(id, kCloseGoingAway, QStringLiteral("the panel server stopped"));
}

bool PanelServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_front.listen(address, port)) {
        *error = m_front.errorString();
        return false;
    }
    m_address = address;
    // The addresses a page may name in its Host: the one served on, or every one of this
    // machine's when serving on all of them.
    ServedAt served;
    served.port = m_front.serverPort();
    const bool all = address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
                     address == QHostAddress::AnyIPv6;
    for (QHostAddress a : all ? QNetworkInterface::allAddresses() : QList<QHostAddress>{address}) {
        if (address == QHostAddress::AnyIPv4 && a.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        a.setScopeId(QString());
        served.addresses.append(a.toString().toLower());
        served.loopback = served.loopback || a.isLoopback();
    }
    m_front.setServedAt(served);
    return true;
}

void PanelServer::onPageOpened(QTcpSocket *socket, const QByteArray &token)
{
    auto *connection = new PanelConnection(socket, m_clock, this);
    auto p = std::make_unique<Page>();
    p->id = m_sessions.open(connection->peer().toString(), token);
    p->connection = connection;
    const int id = p->id;
    connect(connection, &PanelConnection::textReceived, this,
            [this, id](const QByteArray &utf8) { onMessage(id, utf8); });
    connect(connection, &PanelConnection::binaryReceived, this, [this, id] {
        sendError(id, QStringLiteral("binary messages are not understood; send JSON text"));
    });
    connect(connection, &PanelConnection::messageTooLarge, this, [this, id](quint64 bytes) {
        sendError(id, QStringLiteral("message too large: %1 bytes (at most %2)")
                          .arg(bytes)
                          .arg(kMaxPanelMessageBytes));
    });
    connect(connection, &PanelConnection::overRate, this, [this, id] {
        sendError(id, QStringLiteral("too many messages: at most %1 a second")
                          .arg(PanelConnection::kFramesPerSecond));
    });
    connect(connection, &PanelConnection::gone, this,
            [this, id](const QString &why, bool overLimits) { onGone(id, why, overLimits); });
    p->flush.setSingleShot(true);
    connect(&p->flush, &QTimer::timeout, this, [this, id] { flush(id); });
    Page &added = *p;
    m_pages.emplace(id, std::move(p));
    schedule(added); // the whole state at once
    if (!token.isEmpty() && !m_sessions.operating(id))
        sendError(id, QStringLiteral("wrong token: this page may only watch"));
}

PanelServer::Page *PanelServer::page(int id)
{
    const auto it = m_pages.find(id);
    return it == m_pages.end() ? nullptr : it->second.get();
}

void PanelServer::onMessage(int id, const QByteArray &utf8)
{
    // The console may show a message box for a command (a refused Transfer), and its event loop
    // may close this very page meanwhile: nothing of the page is held across the call.
    if (const std::optional<QString> error = m_sessions.handle(id, utf8))
        sendError(id, *error);
    runTokenChecks(); // a hello waits for its turn
}

void PanelServer::runTokenChecks()
{
    for (const PanelSessions::TokenCheck &check : m_sessions.checkTokens()) {
        if (check.right) {
            if (Page *p = page(check.id)) {
                p->stateDue = true; // its rights changed
                schedule(*p);
            }
        } else {
            sendError(check.id, QStringLiteral("wrong token: this page may only watch"));
        }
    }
    if (const std::optional<qint64> next = m_sessions.nextCheckInMs())
        m_tokenChecks.start(static_cast<int>(std::max<qint64>(*next, 1)));
}

std::unique_ptr<PanelServer::Page> PanelServer::takePage(int id)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return nullptr;
    std::unique_ptr<Page> gone = std::move(it->second);
    m_pages.erase(it);
    gone->flush.stop();
    gone->connection->disconnect(this);
    return gone;
}

void PanelServer::onGone(int id, const QString &why, bool overLimits)
{
    const std::unique_ptr<Page> gone = takePage(id);
    if (!gone)
        return;
    int heldBack = 0;
    const QString address = gone->connection->peer().toString();
    m_closedOverLimits += overLimits ? 1 : 0;
    if (overLimits && m_closedNotes.due(address, m_clock(), &heldBack)) {
        m_console.note(QStringLiteral("remote panel: closed the page from %1: %2%3")
                           .arg(address, why,
                                heldBack > 0 ? QStringLiteral(" (and %1 more from there in the "
                                                              "last minute)")
                                                   .arg(heldBack)
                                             : QString()));
    }
    gone->connection->close(kCloseNormal, QString());
    m_sessions.close(id, why);
}

void PanelServer::closePage(int id, quint16 code, const QString &why)
{
    const std::unique_ptr<Page> gone = takePage(id);
    if (!gone)
        return;
    gone->connection->close(code, why);
    m_sessions.close(id, why);
}

void PanelServer::checkHeartbeats()
{
    for (const int id : m_sessions.silent())
        closePage(
            id, kClosePolicy,
            QStringLiteral("no heartbeat for %1 s").arg(PanelSessions::kHeartbeatTimeoutMs / 1000));
}

int PanelServer::operatingPages() const
{
    return static_cast<int>(
        std::count_if(m_pages.begin(), m_pages.end(),
                      [this](const auto &entry) { return m_sessions.operating(entry.first); }));
}

qint64 PanelServer::heldBytes() const
{
    qint64 bytes = 0;
    for (const auto &[id, p] : m_pages)
        bytes += p->connection->heldBytes();
    return bytes;
}

void PanelServer::stateChanged(bool statusFrame)
{
    m_stateCache.clear();
    const auto now = std::chrono::steady_clock::now();
    for (auto &[id, p] : m_pages) {
        p->stateDue = true;
        if (statusFrame && !p->statusSince)
            p->statusSince = now;
        schedule(*p);
    }
}

void PanelServer::schedule(Page &p)
{
    if (p.flush.isActive())
        return;
    // Not more than one message every 50 ms; never at once either, so that what one event
    // changes in several steps goes out as one message.
    const qint64 wait = std::max<qint64>(0, kUpdateSpacingMs - (m_clock() - p.lastSentMs));
    p.flush.start(static_cast<int>(wait));
}

void PanelServer::flush(int id)
{
    Page *p = page(id);
    if (p == nullptr)
        return;
    if (p->mapDue) {
        p->mapDue = false;
        if (m_mapCache.isEmpty())
            m_mapCache = panelMapFields(m_map);
        send(*p, "map", m_mapCache);
    }
    if (p->stateDue) {
        p->stateDue = false;
        if (m_stateCache.isEmpty())
            m_stateCache = panelStateFields(m_console, m_map);
        send(*p, "state",
             QByteArrayLiteral("\"control\":") +
                 (m_sessions.operating(id) ? QByteArrayLiteral("true")
                                           : QByteArrayLiteral("false")) +
                 ',' + m_stateCache);
        if (p->statusSince) {
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - *p->statusSince)
                                .count();
            if (m_latenciesUs.size() < kKeptLatencies)
                m_latenciesUs.push_back(us);
            p->statusSince.reset();
        }
    }
    p->lastSentMs = m_clock();
}

void PanelServer::send(Page &p, const QByteArray &type, const QByteArray &fields)
{
    const QByteArray message = "{\"type\":\"" + type + "\",\"seq\":" + QByteArray::number(++p.seq) +
                               (fields.isEmpty() ? QByteArray() : ',' + fields) + '}';
    p.connection->sendText(message);
}

void PanelServer::sendError(int id, const QString &text)
{
    if (Page *p = page(id))
        send(*p, "error", "\"message\":" + quoted(text));
}

void PanelServer::broadcast(const QByteArray &type, const QByteArray &fields)
{
    for (auto &[id, p] : m_pages)
        send(*p, type, fields);
}

bool PanelServer::loadEnglish(const QString &qmFile)
{
    if (!m_texts.loadEnglish(qmFile))
        return false;
    m_front.setTexts(&m_texts);
    return true;
}

void PanelServer::setMap(const MapGeometry &map)
{
    m_map = map;
    m_mapCache.clear();
    m_stateCache.clear();
    for (auto &[id, p] : m_pages) {
        p->mapDue = p->stateDue = true;
        schedule(*p);
    }
}

QString PanelServer::urlHost() const
{
    QHostAddress shown = m_address;
    if (m_address == QHostAddress::Any || m_address == QHostAddress::AnyIPv4 ||
        m_address == QHostAddress::AnyIPv6) {
        // Serving every interface: name the first address another machine can reach.
        shown = QHostAddress(QHostAddress::LocalHost);
        for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
            if (!a.isLoopback() && a.protocol() == QAbstractSocket::IPv4Protocol) {
                shown = a;
                break;
            }
        }
    }
    return shown.toString();
}

QUrl PanelServer::viewUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(urlHost());
    url.setPort(port());
    url.setPath(QStringLiteral("/"));
    return url;
}

QUrl PanelServer::controlUrl() const
{
    QUrl url = viewUrl();
    url.setQuery(QStringLiteral("token=") + QString::fromLatin1(m_token));
    return url;
}

std::unique_ptr<RemotePanel> RemotePanel::start(Console &console, const QHostAddress &address,
                                                quint16 port, QString *error)
{
    // 128 bits from the system's generator, new at every start.
    QByteArray token;
    for (int i = 0; i < 4; ++i)
        token +=
            QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0');
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto server =
        std::make_unique<PanelServer>(console, token, [clock] { return clock->elapsed(); });
    if (!server->listen(address, port, error))
        return nullptr;
    return server;
}

bool parseServeAddress(const QString &text, QHostAddress *address, quint16 *port, QString *error)
{
    QString host = QStringLiteral("127.0.0.1");
    QString portText = text;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(QStringLiteral("]:"));
        if (close < 0) {
            *error = QStringLiteral("--serve: write an IPv6 address as [ADDRESS]:PORT");
            return false;
        }
        host = text.mid(1, close - 1);
        portText = text.mid(close + 2);
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        host = text.left(colon);
        portText = text.mid(colon + 1);
    }
    bool ok = false;
    const uint number = portText.toUInt(&ok);
    if (!ok || number > 65535 || portText.isEmpty() || !portText.front().isDigit()) {
        *error = QStringLiteral("--serve: \"%1\" is no port number (0 to 65535)").arg(portText);
        return false;
    }
    const QHostAddress parsed(host);
    if (parsed.isNull()) {
        *error = QStringLiteral("--serve: \"%1\" is no IP address").arg(host);
        return false;
    }
    *address = parsed;
    *port = static_cast<quint16>(number);
    return true;
}

} // namespace relm
