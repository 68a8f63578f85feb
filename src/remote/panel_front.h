#pragma once

#include "remote/panel_http.h"

#include <QHostAddress>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

namespace relm {

// The panel's listening socket and its front door: reads the head of each connection's one
// request (at most kMaxRequestHeadBytes are ever buffered), answers it as answerDoor() says and
// reads nothing after it. A WebSocket it lets in is handed over, socket and all, right after
// the 101 answer. A head that does not arrive within a few seconds is dropped.
class PanelFront final : public QTcpServer
{
    Q_OBJECT

public:
    // Whether a page from peer may come in now (see PageAdmission).
    using Admission =
        std::function<std::optional<QString>(const QHostAddress &peer, bool bringsToken)>;
    // A page came in: its socket (from now on the receiver's) and the token it brought, if any.
    using PageOpened = std::function<void(QTcpSocket *socket, const QByteArray &token)>;

    explicit PanelFront(QObject *parent = nullptr);
    PanelFront(const PanelFront &) = delete;
    PanelFront &operator=(const PanelFront &) = delete;

    void setServedAt(const ServedAt &served) { m_served = served; }
    void setPages(Admission admission, PageOpened opened);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void onHeadData(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &bytes, bool moreCame);

    ServedAt m_served;
    Admission m_admission;
    PageOpened m_opened;
};

} // namespace relm
