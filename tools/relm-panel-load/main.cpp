// relm-panel-load: stands in for the phones and browsers of a benchmark. Opens N pages on a
// remote panel's WebSocket with the token in the request, as the panel's page does, sends a
// heartbeat every second, and counts the updates each page gets. Beside them, F flooding
// clients, as a hostile program would be: each opens a WebSocket without the token and sends
// 64 KiB messages as fast as its socket takes them, and opens a new one whenever the panel
// closes it. Ends on SIGTERM or SIGINT with a summary line for each kind.
// Usage: relm-panel-load PORT TOKEN PAGES [FLOODERS]

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// One flooding client: a WebSocket written by hand, so that flooding costs it nothing but the
// writes, and a new one as soon as the panel closes it.
class Flooder final : public QObject
{
public:
    Flooder(quint16 port, QObject *parent)
        : QObject(parent)
        , m_port(port)
    {
        const QByteArray host = "127.0.0.1:" + QByteArray::number(port);
        m_handshake = "GET /ws HTTP/1.1\r\nHost: " + host +
                      "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                      "Sec-WebSocket-Version: 13\r\nOrigin: http://" + host + "\r\n\r\n";
        // A 64 KiB text message, masked with a zero key so it goes out as it stands.
        m_message = QByteArray::fromHex("81ff0000000000010000") + QByteArray(4, '\0') +
                    QByteArray(64 * 1024, 'x');
        open();
    }

    long connections = 0;
    long long bytes = 0;

private:
    void open()
    {
        ++connections;
        auto *socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, [this, socket] {
            socket->write(m_handshake);
            flood(socket);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 n) {
            bytes += n;
            flood(socket);
        });
        connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            open();
        });
        // A connection refused never was connected, and is tried again a little later.
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (socket->state() == QAbstractSocket::UnconnectedState &&
                socket->error() == QAbstractSocket::ConnectionRefusedError) {
                socket->deleteLater();
                QTimer::singleShot(10, this, [this] { open(); });
            }
        });
        socket->connectToHost(QHostAddress::LocalHost, m_port);
    }

    void flood(QTcpSocket *socket)
    {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 1024 * 1024) {
            socket->write(m_message);
        }
    }

    quint16 m_port;
    QByteArray m_handshake;
    QByteArray m_message;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool portOk = false, pagesOk = false, floodersOk = args.size() == 4;
    const bool counted = args.size() == 4 || args.size() == 5;
    const int port = counted ? args[1].toInt(&portOk) : 0;
    const int pages = counted ? args[3].toInt(&pagesOk) : 0;
    const int flooders = args.size() == 5 ? args[4].toInt(&floodersOk) : 0;
    if (!portOk || !pagesOk || !floodersOk || port <= 0 || port > 65535 || pages < 0 ||
        pages > 64 || flooders < 0 || flooders > 16) {
        std::fprintf(stderr,
                     "usage: relm-panel-load PORT TOKEN PAGES (0..64) [FLOODERS (0..16)]\n");
        return 2;
    }
    const QString token = args[2];

    if (::pipe(g_signalPipe) != 0)
        return 1;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    QSocketNotifier ending(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&ending, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(port);
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    std::vector<long> updates(static_cast<std::size_t>(pages), 0);
    int connected = 0;
    for (int i = 0; i < pages; ++i) {
        auto socket = std::make_unique<QWebSocket>(origin);
        QWebSocket *s = socket.get();
        QObject::connect(s, &QWebSocket::connected, s, [&connected] { ++connected; });
        QObject::connect(s, &QWebSocket::textMessageReceived, s,
                         [&updates, i](const QString &) { ++updates[static_cast<std::size_t>(i)]; });
        s->open(QNetworkRequest(
            QUrl(QStringLiteral("ws://127.0.0.1:%1/ws?token=%2").arg(port).arg(token))));
        sockets.push_back(std::move(socket));
    }
    std::vector<Flooder *> flooding;
    for (int i = 0; i < flooders; ++i)
        flooding.push_back(new Flooder(static_cast<quint16>(port), &app));
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, &app, [&sockets] {
        for (const auto &s : sockets) {
            if (s->state() == QAbstractSocket::ConnectedState)
                s->sendTextMessage(QStringLiteral("{\"type\":\"heartbeat\"}"));
        }
    });
    heartbeat.start(1000);
    QCoreApplication::exec();

    long least = updates.empty() ? 0 : updates[0], most = least, total = 0;
    for (const long n : updates) {
        least = std::min(least, n);
        most = std::max(most, n);
        total += n;
    }
    std::printf("panel_load: %d of %d pages connected, updates per page %ld..%ld, %ld in all\n",
                connected, pages, least, most, total);
    if (flooders > 0) {
        long connections = 0;
        long long bytes = 0;
        for (const Flooder *f : flooding) {
            connections += f->connections;
            bytes += f->bytes;
        }
        std::printf("panel_flood: %d clients opened %ld connections and handed the system %.1f MB\n",
                    flooders, connections, static_cast<double>(bytes) / 1e6);
    }
    return connected == pages ? 0 : 1;
}
