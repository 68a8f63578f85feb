#pragma once

#include "remote/panel_front.h"
#include "remote/panel_sessions.h"
#include "remote/remote_panel.h"

#include <QHttpServer>
#include <QObject>
#include <QTimer>
#include <QWebSocketServer>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

class QWebSocket;

namespace relm {

// The remote panel on Qt's HTTP server and WebSockets, in the console's own event loop: the
// page's files from the program's resources, and one WebSocket endpoint, /ws, over which pages
// get the console's state and operating pages send commands. Decides nothing about trains: it
// turns messages into calls on the console and the console's signals into messages.
//
// Every page gets the whole state as soon as it connects, and again after every change (a
// decoded status frame, an operator command from anywhere), at most once every 50 ms; each
// message carries the page's own sequence number.
class PanelServer final : public QObject, public RemotePanel
{
    Q_OBJECT

public:
    static constexpr int kUpdateSpacingMs = 50;
    static constexpr qint64 kMaxIncomingBytes = 64 * 1024; // beyond this the socket is closed
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;  // a page that reads no faster goes

    PanelServer(Console &console, QByteArray token, PanelSessions::Clock clock,
                QObject *parent = nullptr);
    PanelServer(const PanelServer &) = delete;
    PanelServer &operator=(const PanelServer &) = delete;
    ~PanelServer() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    quint16 port() const { return m_front.serverPort(); }

    QUrl viewUrl() const override;
    QUrl controlUrl() const override;
    void setMap(const MapGeometry &map) override;

    // Closes operating pages whose heartbeats stopped (runs by itself twice a second).
    void checkHeartbeats();
    int pages() const { return static_cast<int>(m_pages.size()); }

    // Microseconds from the end of each status event to each page's update leaving, newest
    // last (kept for measurements; at most 100,000).
    const std::vector<qint64> &updateLatenciesUs() const { return m_latenciesUs; }

private:
    struct Page
    {
        int id = 0;
        std::unique_ptr<QWebSocket> socket;
        quint64 seq = 0;
        qint64 lastSentMs = -1000000;
        bool stateDue = true;
        bool mapDue = true;
        std::optional<std::chrono::steady_clock::time_point> statusSince;
        QTimer flush;
    };

    void routeFiles();
    std::optional<PanelFront::Refusal> checkUpgrade(const RequestHead &head,
                                                    const QHostAddress &peer) const;
    void onNewWebSocket();
    void onMessage(int id, const QString &text);
    void onGone(int id, const QString &why);
    void stateChanged(bool statusFrame);
    void schedule(Page &page);
    void flush(int id);
    void send(Page &page, const QByteArray &type, const QByteArray &fields);
    void sendError(int id, const QString &text);
    void broadcast(const QByteArray &type, const QByteArray &fields);
    Page *page(int id);
    QString urlHost() const;

    Console &m_console;
    QByteArray m_token;
    PanelSessions::Clock m_clock;
    PanelSessions m_sessions;
    QWebSocketServer m_webSockets;
    // Bound to the front door, the HTTP server takes it as its child: the door must go first.
    QHttpServer m_http;
    PanelFront m_front;
    QHostAddress m_address;
    MapGeometry m_map;
    QByteArray m_stateCache; // the state's fields until the next change
    std::map<int, std::unique_ptr<Page>> m_pages;
    QTimer m_heartbeats;
    std::vector<qint64> m_latenciesUs;
};

} // namespace relm
