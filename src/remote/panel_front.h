#pragma once

#include "remote/panel_http.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <deque>
#include <functional>

class QTcpSocket;

namespace relm {

// The panel's listening socket and its front door: reads the head of each connection's one
// request (at most kMaxRequestHeadBytes are ever buffered), answers it as answerDoor() says and
// reads nothing after it. A WebSocket it lets in is handed over, socket and all, right after
// the 101 answer. A head that does not arrive within a few seconds is dropped.
//
// The door takes at most kConnectionsPerSecond new connections a second, from all addresses
// together: a client that opens connection after connection (one closed for flooding, say)
// costs the console no more than that. Those beyond wait, in the order they came, and the
// system's queue holds the rest; none is refused for it.
class PanelFront final : public QTcpServer
{
    Q_OBJECT

public:
    // Whether a page from peer may come in now with the token it brings (see PageAdmission).
    using Admission =
        std::function<std::optional<QString>(const QHostAddress &peer, const QByteArray &token)>;
    // A page came in: its socket (from now on the receiver's) and the token it brought, if any.
    using PageOpened = std::function<void(QTcpSocket *socket, const QByteArray &token)>;

    static constexpr int kConnectionsPerSecond = 50;

    explicit PanelFront(QObject *parent = nullptr);
    PanelFront(const PanelFront &) = delete;
    PanelFront &operator=(const PanelFront &) = delete;

    void setServedAt(const ServedAt &served) { m_served = served; }
    // The page's texts in the browsers' languages; without them, the page as written.
    void setTexts(const PageTexts *texts) { m_texts = texts; }
    void setPages(Admission admission, PageOpened opened);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void takeWaiting();
    void take(QTcpSocket *socket);
    void onHeadData(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &bytes, bool moreCame);

    std::deque<QPointer<QTcpSocket>> m_waiting; // accepted beyond the budget, oldest first
    double m_allowance = kConnectionsPerSecond;
    QElapsedTimer m_clock;
    qint64 m_countedAt = 0; // ns on m_clock when the allowance was last counted
    QTimer m_next;          // when the next waiting connection may be taken
    ServedAt m_served;
    const PageTexts *m_texts = nullptr;
    Admission m_admission;
    PageOpened m_opened;
};

} // namespace relm
