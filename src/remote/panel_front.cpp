#include "remote/panel_front.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocketServer>

namespace relm {

namespace {

constexpr int kHeadTimeoutMs = 5000;
// A page's files are a few kilobytes: no connection to the HTTP server needs longer than this.
constexpr int kHttpConnectionMs = 30000;
const char *const kWebSocketPath = "/ws";
const char *const kHandedOver = "relmHandedOver"; // set once the socket is not the door's any more

} // namespace

PanelFront::PanelFront(QWebSocketServer &webSockets, QString machineName, QObject *parent)
    : QTcpServer(parent)
    , m_webSockets(webSockets)
    , m_machineName(std::move(machineName))
{}

void PanelFront::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onHeadData(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kHeadTimeoutMs, socket, [socket] {
        if (socket->property(kHandedOver).isNull())
            socket->abort();
    });
}

void PanelFront::handOver(QTcpSocket *socket)
{
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->setProperty(kHandedOver, true);
}

void PanelFront::refuse(QTcpSocket *socket, const QByteArray &status, const QString &reason)
{
    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
    socket->setProperty(kHandedOver, true);
    const QByteArray body = reason.toUtf8() + '\n';
    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                  "Content-Length: " + QByteArray::number(body.size()) +
                  "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\n\r\n" + body);
    socket->disconnectFromHost();
}

void PanelFront::onHeadData(QTcpSocket *socket)
{
    // Look without taking: whoever the request goes to reads it whole.
    const QByteArray received = socket->peek(kMaxRequestHeadBytes);
    const qsizetype length = requestHeadLength(received);
    if (length == 0)
        return;
    if (length < 0) {
        refuse(socket, "431 Request Header Fields Too Large", QStringLiteral("request head too long"));
        return;
    }
    const RequestHeadParse parsed = parseRequestHead(received.left(length));
    if (!parsed.head) {
        refuse(socket, "400 Bad Request", parsed.error);
        return;
    }
    const RequestHead &head = *parsed.head;
    if (!isOwnHost(head.host, m_machineName)) {
        refuse(socket, "403 Forbidden",
               QStringLiteral("unknown Host: open the panel by this machine's address or name"));
        return;
    }
    if (head.upgradeWebSocket) {
        if (head.path != kWebSocketPath) {
            refuse(socket, "404 Not Found", QStringLiteral("no WebSocket here"));
            return;
        }
        if (m_check) {
            if (const auto refusal = m_check(head, socket->peerAddress())) {
                refuse(socket, refusal->status, refusal->reason);
                return;
            }
        }
        handOver(socket);
        socket->setParent(nullptr); // the WebSocket made of it owns it from now on
        m_webSockets.handleConnection(socket);
        return;
    }
    if ((head.method != "GET" && head.method != "HEAD") || head.hasBody) {
        refuse(socket, "405 Method Not Allowed", QStringLiteral("the panel only answers GET"));
        return;
    }
    handOver(socket);
    // One request per connection, as the answer's "Connection: close" says: the next request
    // comes through this door again.
    connect(socket, &QTcpSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            socket->disconnectFromHost();
    });
    QTimer::singleShot(kHttpConnectionMs, socket, &QTcpSocket::abort);
    addPendingConnection(socket);
    emit newConnection();
    // The request is already waiting; its reader hears of it only from a new notification.
    const QPointer<QTcpSocket> alive(socket);
    if (alive && alive->bytesAvailable() > 0)
        emit alive->readyRead();
}

} // namespace relm
