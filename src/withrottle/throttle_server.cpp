#include "withrottle/throttle_server.h"

#include "console/console.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <chrono>

namespace relm {

namespace {

constexpr int kTimerCheckMs = 250;
constexpr std::size_t kKeptLatencies = 100000;

// An IPv4 peer as 192.168.1.20 even on a socket that listens for IPv6 too.
QString peerText(const QTcpSocket &socket)
{
    bool ipv4 = false;
    const quint32 v4 = socket.peerAddress().toIPv4Address(&ipv4);
    return ipv4 ? QHostAddress(v4).toString() : socket.peerAddress().toString();
}

} // namespace

ThrottleServer::ThrottleServer(Console &console, ThrottleSession::Clock clock, QObject *parent)
    : QObject(parent)
    , m_console(console)
    , m_clock(std::move(clock))
    , m_directions(console)
{
    connect(&m_listener, &QTcpServer::newConnection, this, &ThrottleServer::onNewConnection);

    // What the console reports reaches every throttle.
    connect(&console, &Console::trainChanged, this, [this] { consoleChanged(false); });
    connect(&console, &Console::displayChanged, this, [this] { consoleChanged(false); });
    connect(&console, &Console::operatorCommand, this, [this] { consoleChanged(false); });
    connect(&console, &Console::statusDecoded, this, [this] { consoleChanged(true); });

    // Changes outside a status frame are told at the next turn of the event loop, together.
    m_soon.setSingleShot(true);
    m_soon.setInterval(0);
    connect(&m_soon, &QTimer::timeout, this, [this] { updateAll(); });

    m_timers.setInterval(kTimerCheckMs);
    connect(&m_timers, &QTimer::timeout, this, &ThrottleServer::checkTimers);
    m_timers.start();
}

ThrottleServer::~ThrottleServer()
{
    // Throttles that go with the server stop the trains they drive.
    std::vector<int> ids;
    for (const auto &[id, c] : m_clients)
        ids.push_back(id);
    for (const int id : ids)
        onGone(id, tr("スロットルサーバーを終了"));
}

bool ThrottleServer::listen(const QHostAddress &address, quint16 port, QString *error)
{
    if (!m_listener.listen(address, port)) {
        *error = m_listener.errorString();
        return false;
    }
    return true;
}

ThrottleServer::Client *ThrottleServer::client(int id)
{
    const auto it = m_clients.find(id);
    return it == m_clients.end() ? nullptr : it->second.get();
}

void ThrottleServer::onNewConnection()
{
    while (QTcpSocket *raw = m_listener.nextPendingConnection()) {
        if (clients() >= kMaxClients) {
            refuse(raw);
            continue;
        }
        const int id = m_nextId++;
        auto c = std::make_unique<Client>();
        c->socket.reset(raw);
        raw->setReadBufferSize(kReadBufferBytes);
        c->session = std::make_unique<ThrottleSession>(m_console, m_clock, id, peerText(*raw));
        connect(raw, &QTcpSocket::readyRead, this, [this, id] { onReadyRead(id); });
        // Reported after the handler that caused it has returned: closing may happen inside a
        // write.
        connect(
            raw, &QTcpSocket::disconnected, this, [this, id] { onGone(id, QString()); },
            Qt::QueuedConnection);
        m_console.note(tr("スロットル接続: #%1 (%2)").arg(QString::number(id), peerText(*raw)));
        Client &added = *c;
        m_clients.emplace(id, std::move(c));
        added.session->greet(m_directions.view());
        if (!write(added, added.session->takeOutput()))
            onGone(id, tr("送信がたまりすぎました"));
    }
}

void ThrottleServer::refuse(QTcpSocket *socket)
{
    // Told why in one line the kernel takes at once, then dropped: a refused peer that never
    // reads must hold nothing here.
    socket->write(
        (alertLine("RELM serves at most " + std::to_string(kMaxClients) + " throttles at once") +
         '\n')
            .c_str());
    socket->flush();
    const qint64 now = m_clock();
    if (now - m_lastRefusalNote >= kRefusalNoteSpacingMs) {
        m_lastRefusalNote = now;
        m_console.note(tr("スロットル接続を断りました: %1 (同時に %2 台まで)")
                           .arg(peerText(*socket), QString::number(kMaxClients)));
    }
    socket->abort();
    socket->deleteLater();
}

void ThrottleServer::onReadyRead(int id)
{
    Client *c = client(id);
    if (c == nullptr)
        return;
    const QByteArray bytes = c->socket->readAll();
    const ThrottleLineReader::Lines read =
        c->reader.read(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    m_acting = true;
    c->session->dropped(read.dropped);
    for (const std::string &line : read.lines) {
        c->session->receive(line);
        if (c->session->quitting())
            break;
    }
    m_acting = false;
    updateAll(); // once for everything the lines changed
    c = client(id);
    if (c != nullptr && c->session->quitting())
        c->socket->disconnectFromHost(); // after what is still to be sent
}

void ThrottleServer::onGone(int id, const QString &why)
{
    const auto it = m_clients.find(id);
    if (it == m_clients.end())
        return;
    std::unique_ptr<Client> gone = std::move(it->second);
    m_clients.erase(it);
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket.release()->deleteLater();
    QString reason = why;
    if (reason.isEmpty())
        reason = gone->session->quitting() ? tr("Q で終了") : tr("接続が切れました");
    m_acting = true;
    gone->session->closed(reason);
    m_acting = false;
    updateAll();
}

void ThrottleServer::checkTimers()
{
    std::vector<int> idle;
    m_acting = true;
    for (const auto &[id, c] : m_clients) {
        c->session->checkSilence();
        if (c->session->idle())
            idle.push_back(id);
    }
    m_acting = false;
    updateAll();
    for (const int id : idle)
        onGone(id,
               tr("%1 秒間 理解できる行がありません").arg(ThrottleSession::kUsefulWithinMs / 1000));
}

void ThrottleServer::consoleChanged(bool statusFrame)
{
    if (statusFrame)
        m_directions.statusFrame();
    if (m_acting)
        return; // the update after the sessions have acted covers it
    if (!statusFrame) {
        if (!m_soon.isActive())
            m_soon.start();
        return;
    }
    // The frame's whole effect (its trains' changes came just before) goes out at once.
    const auto start = std::chrono::steady_clock::now();
    const bool news = updateAll() > 0;
    const qint64 us = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
    if (!m_clients.empty() && m_latenciesUs.size() < kKeptLatencies)
        m_latenciesUs.push_back(us);
    if (news && m_newsLatenciesUs.size() < kKeptLatencies)
        m_newsLatenciesUs.push_back(us);
}

std::size_t ThrottleServer::updateAll()
{
    m_soon.stop();
    const ThrottleView view = m_directions.view();
    std::vector<int> overfull;
    std::size_t written = 0;
    for (const auto &[id, c] : m_clients) {
        c->session->update(view);
        const std::string out = c->session->takeOutput();
        written += out.size();
        if (!write(*c, out))
            overfull.push_back(id);
    }
    for (const int id : overfull)
        onGone(id, tr("送信がたまりすぎました (読まない端末)"));
    return written;
}

bool ThrottleServer::write(Client &c, const std::string &out)
{
    if (out.empty())
        return true;
    if (c.socket->bytesToWrite() + static_cast<qint64>(out.size()) > kMaxQueuedBytes)
        return false;
    c.socket->write(out.data(), static_cast<qint64>(out.size()));
    c.socket->flush(); // leaves now, not at the next turn of the event loop
    return true;
}

QString WiThrottle::endpoint() const
{
    const QHostAddress a = address();
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    return QStringLiteral("%1:%2").arg(host, QString::number(port()));
}

std::unique_ptr<WiThrottle> WiThrottle::start(Console &console, const QHostAddress &address,
                                              quint16 port, QString *error)
{
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    auto server = std::make_unique<ThrottleServer>(console, [clock] { return clock->elapsed(); });
    if (!server->listen(address, port, error))
        return nullptr;
    // Phones on the network find it by name; on loopback there is nobody to tell.
    if (!address.isLoopback()) {
        server->advertise(
            std::make_unique<MdnsAdvert>(QStringLiteral("RELM"), server->port(),
                                         [&console](const QString &text) { console.note(text); }));
    }
    return server;
}

} // namespace relm
