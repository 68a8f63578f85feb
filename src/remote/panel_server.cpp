#include "remote/panel_server.h"

#include "console/console.h"
#include "remote/panel_state.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostInfo>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QPointer>
#include <QRandomGenerator>
#include <QWebSocket>

#include <array>

namespace relm {

namespace {

constexpr int kHeartbeatCheckMs = 500;
constexpr std::size_t kKeptLatencies = 100000;

struct PanelFile
{
    const char *path;     // as the page asks for it
    const char *resource; // in the program's resources
    const char *type;
};

constexpr std::array<PanelFile, 3> kFiles{{
    {"/", ":/panel/index.html", "text/html; charset=utf-8"},
    {"/panel.js", ":/panel/panel.js", "text/javascript; charset=utf-8"},
    {"/panel.css", ":/panel/panel.css", "text/css; charset=utf-8"},
}};

// Every answer: only the panel's own files may run in it, types are as declared, nothing is
// cached (a page always matches the program), and the connection ends with the answer, so the
// next request passes the front door again.
const std::array<std::pair<QByteArray, QByteArray>, 4> kHeaders{{
    {"Content-Security-Policy", "default-src 'self'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Cache-Control", "no-store"},
    {"Connection", "close"},
}};

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
    , m_webSockets(QStringLiteral("RELM"), QWebSocketServer::NonSecureMode)
    , m_front(m_webSockets, QHostInfo::localHostName())
{
    m_front.setUpgradeCheck([this](const RequestHead &head, const QHostAddress &peer) {
        return checkUpgrade(head, peer);
    });
    routeFiles();
    connect(&m_webSockets, &QWebSocketServer::newConnection, this, &PanelServer::onNewWebSocket);

    // What the console reports reaches every page.
    connect(&console, &Console::trainChanged, this, [this] { stateChanged(false); });
    connect(&console, &Console::displayChanged, this, [this] { stateChanged(false); });
    connect(&console, &Console::operatorCommand, this, [this] { stateChanged(false); });
    connect(&console, &Console::statusDecoded, this, [this] { stateChanged(true); });
    connect(&console, &Console::notice, this, [this](const QString &text, bool) {
        broadcast("notice", "\"text\":" + quoted(text));
    });

    m_heartbeats.setInterval(kHeartbeatCheckMs);
    connect(&m_heartbeats, &QTimer::timeout, this, &PanelServer::checkHeartbeats);
    m_heartbeats.start();
}

PanelServer::~PanelServer()
{
    // Pages that go with the server stop the trains they drive.
    std::vector<int> ids;
    for (const auto &[id, p] : m_pages)
        ids.push_back(id);
    for (const int id : ids)
        onGone(id, QStringLiteral("the panel server stopped"));
}

bool PanelServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_front.listen(address, port)) {
        *error = m_front.errorString();
        return false;
    }
    m_address = address;
    m_http.bind(&m_front);
    return true;
}

void PanelServer::routeFiles()
{
    for (const PanelFile &f : kFiles) {
        const QString resource = QString::fromLatin1(f.resource);
        const QByteArray type = f.type;
        m_http.route(QString::fromLatin1(f.path), QHttpServerRequest::Method::Get,
                     [resource, type] {
                         QFile file(resource);
                         if (!file.open(QIODevice::ReadOnly))
                             return QHttpServerResponse(QHttpServerResponder::StatusCode::NotFound);
                         return QHttpServerResponse(type, file.readAll());
                     });
    }
    m_http.afterRequest([](QHttpServerResponse &&response) {
        for (const auto &[name, value] : kHeaders)
            response.setHeader(name, value);
        return std::move(response);
    });
    m_http.setMissingHandler([](const QHttpServerRequest &, QHttpServerResponder &&responder) {
        const QByteArray body = QByteArrayLiteral("not found\n");
        responder.writeStatusLine(QHttpServerResponder::StatusCode::NotFound);
        responder.writeHeader("Content-Type", "text/plain; charset=utf-8");
        responder.writeHeader("Content-Length", QByteArray::number(body.size()));
        for (const auto &[name, value] : kHeaders)
            responder.writeHeader(name, value);
        responder.writeBody(body);
    });
}

std::optional<PanelFront::Refusal> PanelServer::checkUpgrade(const RequestHead &head,
                                                             const QHostAddress &peer) const
{
    // A page of another site the operator has open must not reach the console.
    if (!isOwnOrigin(head))
        return PanelFront::Refusal{"403 Forbidden",
                                   QStringLiteral("the page's origin is not this panel")};
    if (m_sessions.lockedOut(peer.toString()))
        return PanelFront::Refusal{"403 Forbidden",
                                   QStringLiteral("locked out after too many wrong tokens")};
    if (m_sessions.full())
        return PanelFront::Refusal{"503 Service Unavailable",
                                   QStringLiteral("already %1 pages connected")
                                       .arg(PanelSessions::kMaxPages)};
    return std::nullopt;
}

void PanelServer::onNewWebSocket()
{
    while (QWebSocket *raw = m_webSockets.nextPendingConnection()) {
        auto p = std::make_unique<Page>();
        p->socket.reset(raw);
        if (m_sessions.full()) { // two upgrades that passed the door together
            raw->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("too many pages"));
            raw->deleteLater();
            p->socket.release();
            continue;
        }
        p->id = m_sessions.open(raw->peerAddress().toString());
        raw->setMaxAllowedIncomingMessageSize(kMaxIncomingBytes);
        raw->setMaxAllowedIncomingFrameSize(kMaxIncomingBytes);
        const int id = p->id;
        connect(raw, &QWebSocket::textMessageReceived, this,
                [this, id](const QString &text) { onMessage(id, text); });
        connect(raw, &QWebSocket::binaryMessageReceived, this, [this, id] {
            sendError(id, QStringLiteral("binary messages are not understood; send JSON text"));
        });
        // A page closed in the browser and one whose network went away look alike here.
        connect(raw, &QWebSocket::disconnected, this, [this, id] {
            onGone(id, QStringLiteral("the page closed or its connection was lost"));
        });
        p->flush.setSingleShot(true);
        connect(&p->flush, &QTimer::timeout, this, [this, id] { flush(id); });
        Page &added = *p;
        m_pages.emplace(id, std::move(p));
        schedule(added); // the whole state at once
    }
}

PanelServer::Page *PanelServer::page(int id)
{
    const auto it = m_pages.find(id);
    return it == m_pages.end() ? nullptr : it->second.get();
}

void PanelServer::onMessage(int id, const QString &text)
{
    const bool wasOperating = m_sessions.operating(id);
    // The console may show a message box for a command (a refused Transfer), and its event loop
    // may close this very page meanwhile: nothing of the page is held across the call.
    const std::optional<QString> error = m_sessions.handle(id, text.toUtf8());
    if (error) {
        sendError(id, *error);
        return;
    }
    if (Page *p = page(id); p != nullptr && m_sessions.operating(id) != wasOperating) {
        p->stateDue = true; // its rights changed
        schedule(*p);
    }
}

void PanelServer::onGone(int id, const QString &why)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return;
    std::unique_ptr<Page> gone = std::move(it->second);
    m_pages.erase(it);
    gone->flush.stop();
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket.release()->deleteLater();
    m_sessions.close(id, why);
}

void PanelServer::checkHeartbeats()
{
    for (const int id : m_sessions.silent())
        onGone(id, QStringLiteral("no heartbeat for %1 s").arg(PanelSessions::kHeartbeatTimeoutMs / 1000));
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
    if (p->socket->bytesToWrite() > kMaxQueuedBytes) {
        onGone(id, QStringLiteral("it read its updates too slowly"));
        return;
    }
    if (p->mapDue) {
        p->mapDue = false;
        send(*p, "map", panelMapFields(m_map));
    }
    if (p->stateDue) {
        p->stateDue = false;
        if (m_stateCache.isEmpty())
            m_stateCache = panelStateFields(m_console, m_map);
        send(*p, "state",
             QByteArrayLiteral("\"control\":") +
                 (m_sessions.operating(id) ? QByteArrayLiteral("true") : QByteArrayLiteral("false")) +
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
    p.socket->sendTextMessage(QString::fromUtf8(message));
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

void PanelServer::setMap(const MapGeometry &map)
{
    m_map = map;
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
        token += QByteArray::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, '0');
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto server = std::make_unique<PanelServer>(console, token, [clock] { return clock->elapsed(); });
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
