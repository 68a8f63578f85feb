// relm-throttle-load: stands in for the phones and hand throttles of a benchmark. Opens N
// WiThrottle connections, names each, acquires trains X, Y, Z in turn and then sends RATE lines
// a second on each, as a paced client library does: speeds between 40 and 126, every two
// seconds a heartbeat (* and N again), and every five seconds the first asks for the point ahead
// of X (so that status frames, when X has passed it, have news for every throttle). Counts the
// lines each throttle gets back. Ends on SIGTERM or SIGINT with a summary line. Runs at normal
// priority even when started from a real-time process: the phones are not the console's.
// Usage: relm-throttle-load PORT THROTTLES [RATE]

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include <sched.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

struct Throttle
{
    std::unique_ptr<QTcpSocket> socket;
    QByteArray name;
    QByteArray key; // S1, S2 or S3
    long sent = 0;
    long received = 0; // lines
    long alerts = 0;   // HM lines: a refusal the load should never earn
    QByteArray pending;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    bool portOk = false, countOk = false, rateOk = true;
    const int port = args.size() >= 3 ? args[1].toInt(&portOk) : 0;
    const int count = args.size() >= 3 ? args[2].toInt(&countOk) : 0;
    const int rate = args.size() == 4 ? args[3].toInt(&rateOk) : 20;
    if (args.size() < 3 || args.size() > 4 || !portOk || !countOk || !rateOk || port <= 0 ||
        port > 65535 || count < 1 || count > 64 || rate < 1 || rate > 100) {
        std::fprintf(stderr, "usage: relm-throttle-load PORT THROTTLES (1..64) [RATE (1..100, "
                             "default 20 lines a second)]\n");
        return 2;
    }

    const sched_param normal{};
    ::sched_setscheduler(0, SCHED_OTHER, &normal);
    if (::pipe(g_signalPipe) != 0)
        return 1;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    QSocketNotifier ending(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&ending, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    std::vector<Throttle> throttles(static_cast<std::size_t>(count));
    int connected = 0;
    for (int i = 0; i < count; ++i) {
        Throttle &t = throttles[static_cast<std::size_t>(i)];
        t.socket = std::make_unique<QTcpSocket>();
        t.name = "load-" + QByteArray::number(i);
        t.key = "S" + QByteArray::number(i % 3 + 1);
        QTcpSocket *s = t.socket.get();
        QObject::connect(s, &QTcpSocket::connected, s, [&t, &connected] {
            ++connected;
            t.socket->write("N" + t.name + "\r\n*+\r\nM0+" + t.key + "<;>" + t.key + "\r\n");
            t.sent += 3;
        });
        QObject::connect(s, &QTcpSocket::readyRead, s, [&t] {
            t.pending += t.socket->readAll();
            for (qsizetype end; (end = t.pending.indexOf('\n')) >= 0;) {
                ++t.received;
                if (t.pending.startsWith("HM"))
                    ++t.alerts;
                t.pending.remove(0, end + 1);
            }
        });
        s->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    }

    // One line per throttle per period; every two seconds the heartbeat's two lines instead.
    long tick = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pace, &QTimer::timeout, &app, [&] {
        ++tick;
        const long beat = tick % (2L * rate);
        for (std::size_t i = 0; i < throttles.size(); ++i) {
            Throttle &t = throttles[i];
            if (t.socket->state() != QAbstractSocket::ConnectedState)
                continue;
            QByteArray line;
            if (beat == 0)
                line = "*";
            else if (beat == 1)
                line = "N" + t.name;
            else if (i == 0 && tick % (5L * rate) == 2)
                line = "PTATPX1";
            else
                line = "M0A*<;>V" +
                       QByteArray::number(40 + (tick * 7 + static_cast<long>(i) * 13) % 87);
            t.socket->write(line + "\r\n");
            ++t.sent;
        }
    });
    pace.start(1000 / rate);
    QCoreApplication::exec();

    long least = throttles.front().received, most = least, sent = 0, alerts = 0;
    for (const Throttle &t : throttles) {
        least = std::min(least, t.received);
        most = std::max(most, t.received);
        sent += t.sent;
        alerts += t.alerts;
    }
    std::printf("throttle_load: %d of %d throttles connected, %ld lines sent, lines received per "
                "throttle %ld..%ld, %ld alerts\n",
                connected, count, sent, least, most, alerts);
    return connected == count && alerts == 0 ? 0 : 1;
}
