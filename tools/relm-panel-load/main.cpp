// relm-panel-load: stands in for the phones and browsers of a benchmark. Opens N pages on a
// remote panel's WebSocket, says hello with the token, sends a heartbeat every second as a page
// does, and counts the updates each page gets. Ends on SIGTERM or SIGINT with a summary line.
// Usage: relm-panel-load PORT TOKEN PAGES

#include <QCoreApplication>
#include <QNetworkRequest>
#include <QSocketNotifier>
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool portOk = false, pagesOk = false;
    const int port = args.size() == 4 ? args[1].toInt(&portOk) : 0;
    const int pages = args.size() == 4 ? args[3].toInt(&pagesOk) : 0;
    if (!portOk || !pagesOk || port <= 0 || port > 65535 || pages < 1 || pages > 64) {
        std::fprintf(stderr, "usage: relm-panel-load PORT TOKEN PAGES (1..64)\n");
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
        QObject::connect(s, &QWebSocket::connected, s, [s, token, &connected] {
            ++connected;
            s->sendTextMessage(QStringLiteral("{\"type\":\"hello\",\"token\":\"%1\"}").arg(token));
        });
        QObject::connect(s, &QWebSocket::textMessageReceived, s,
                         [&updates, i](const QString &) { ++updates[static_cast<std::size_t>(i)]; });
        s->open(QNetworkRequest(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port))));
        sockets.push_back(std::move(socket));
    }
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
    return connected == pages ? 0 : 1;
}
