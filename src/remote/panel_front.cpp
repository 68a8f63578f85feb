#include "remote/panel_front.h"

#include <QTcpSocket>
#include <QTimer>

namespace relm {

namespace {

constexpr int kHeadTimeoutMs = 5000;
// The page's files are a few kilobytes: no client needs longer than this to take an answer.
constexpr int kAnswerTimeoutMs = 10000;
// A client that sent more behind its request is given this long of quiet before the connection
// closes, so that the close does not reset the connection under the answer.
constexpr int kQuietBeforeCloseMs = 200;
// Of what comes after the request no more than this is taken off the line before the connection
// is cut: a client that floods instead of going quiet is not read for long.
constexpr qint64 kMaxDroppedBytes = 64 * 1024;
const char *const kAnswered = "relmAnswered"; // set once the door has answered the socket

} // namespace

PanelFront::PanelFront(QObject *parent)
    : QTcpServer(parent)
{
    m_clock.start();
    m_next.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &PanelFront::takeWaiting);
}

void PanelFront::setPages(Admission admission, PageOpened opened)
{
    m_admission = std::move(admission);
    m_opened = std::move(opened);
}

void PanelFront::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setReadBufferSize(kMaxRequestHeadBytes);
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kHeadTimeoutMs, socket, [socket] {
        if (socket->property(kAnswered).isNull())
            socket->abort();
    });
    m_waiting.emplace_back(socket);
    takeWaiting();
}

void PanelFront::takeWaiting()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_allowance = std::min<double>(kConnectionsPerSecond,
                                   m_allowance + static_cast<double>(now - m_countedAt) *
                                                     kConnectionsPerSecond / 1e9);
    m_countedAt = now;
    while (!m_waiting.empty() && m_allowance >= 1.0) {
        const QPointer<QTcpSocket> socket = m_waiting.front();
        m_waiting.pop_front();
        if (socket) {
            m_allowance -= 1.0;
            take(socket);
        }
    }
    if (m_waiting.empty()) {
        resumeAccepting();
        return;
    }
    // Until the budget allows, the system holds new connections back.
    pauseAccepting();
    if (!m_next.isActive())
        m_next.start(static_cast<int>((1.0 - m_allowance) * 1000.0 / kConnectionsPerSecond) + 1);
}

void PanelFront::take(QTcpSocket *socket)
{
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onHeadData(socket); });
    if (socket->bytesAvailable() > 0)
        onHeadData(socket);
}

void PanelFront::onHeadData(QTcpSocket *socket)
{
    // Look without taking: the head of an upgrade is taken only once the page is let in.
    const QByteArray received = socket->peek(kMaxRequestHeadBytes);
    const QHostAddress peer = socket->peerAddress();
    const DoorAnswer door = answerDoor(
        received, m_served,
        [&](const QByteArray &token) {
            return m_admission ? m_admission(peer, token) : std::nullopt;
        },
        m_texts);
    if (door.kind == DoorAnswer::Kind::NeedMore)
        return;
    socket->setProperty(kAnswered, true);
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    if (door.kind == DoorAnswer::Kind::Answer) {
        answer(socket, door.bytes, socket->bytesAvailable() > door.headLength);
        return;
    }
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->read(door.headLength); // what follows are the page's first frames
    socket->write(door.bytes);
    socket->setParent(nullptr);
    m_opened(socket, door.token);
}

void PanelFront::answer(QTcpSocket *socket, const QByteArray &bytes, bool moreCame)
{
    // Nothing after the request is read: it is taken off the line and dropped.
    auto *quiet = new QTimer(socket);
    quiet->setSingleShot(true);
    quiet->setInterval(kQuietBeforeCloseMs);
    connect(quiet, &QTimer::timeout, socket, &QTcpSocket::disconnectFromHost);
    connect(socket, &QTcpSocket::readyRead, quiet, [socket, quiet, dropped = qint64{0}]() mutable {
        dropped += socket->skip(socket->bytesAvailable());
        if (dropped > kMaxDroppedBytes)
            socket->abort();
        else
            quiet->start();
    });
    socket->skip(socket->bytesAvailable());
    socket->write(bytes);
    if (moreCame)
        quiet->start();
    else
        socket->disconnectFromHost(); // once the answer is out
    QTimer::singleShot(kAnswerTimeoutMs, socket, &QTcpSocket::abort);
}

} // namespace relm
