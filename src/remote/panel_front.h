#pragma once

#include "remote/request_head.h"

#include <QHostAddress>
#include <QTcpServer>

#include <functional>

class QTcpSocket;
class QWebSocketServer;

namespace relm {

// The panel's listening socket. It reads the head of every new connection's first request before
// anyone else does, and decides: a WebSocket upgrade of /ws goes to the WebSocket server if the
// upgrade check lets it; a GET or HEAD without a body goes on to the HTTP server (as a pending
// connection of this server, which the HTTP server is bound to); anything else is answered here
// and closed. A head that does not arrive within a few seconds, or is too long, is dropped.
class PanelFront final : public QTcpServer
{
    Q_OBJECT

public:
    // Empty to let the upgrade through, or the status line and reason to refuse it with.
    struct Refusal
    {
        QByteArray status; // e.g. "403 Forbidden"
        QString reason;
    };
    using UpgradeCheck =
        std::function<std::optional<Refusal>(const RequestHead &head, const QHostAddress &peer)>;

    PanelFront(QWebSocketServer &webSockets, QString machineName, QObject *parent = nullptr);
    PanelFront(const PanelFront &) = delete;
    PanelFront &operator=(const PanelFront &) = delete;

    void setUpgradeCheck(UpgradeCheck check) { m_check = std::move(check); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onHeadData(QTcpSocket *socket);
    void handOver(QTcpSocket *socket);
    void refuse(QTcpSocket *socket, const QByteArray &status, const QString &reason);

    QWebSocketServer &m_webSockets;
    QString m_machineName;
    UpgradeCheck m_check;
};

} // namespace relm
