#pragma once

#include "remote/address_notes.h"
#include "remote/page_texts.h"
#include "remote/panel_connection.h"
#include "remote/panel_front.h"
#include "remote/panel_sessions.h"
#include "remote/remote_panel.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <vector>

namespace relm {

// The remote panel in the console's own event loop: the page's files from the program's
// resources, and one WebSocket endpoint, /ws, over which pages get the console's state and
// operating pages send commands. Decides nothing about trains: it turns messages into calls on
// the console and the console's signals into messages.
//
// Every page gets the whole state as soon as it connects, and again after every change (a
// decoded status frame, an operator command from anywhere), at most once every 50 ms; each
// message carries the page's own sequence number. A page that breaks its limits (see
// PanelConnection) is closed, and a note names its address (once a minute per address).
class PanelServer final : public QObject, public RemotePanel
{
    Q_OBJECT

public:
    static constexpr int kUpdateSpacingMs = 50;
    static constexpr qint64 kMaxQueuedBytes = PanelConnection::kMaxQueuedBytes;

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
    bool loadEnglish(const QString &qmFile) override;

    // Closes pages whose heartbeats stopped (runs by itself twice a second).
    void checkHeartbeats();
    int pages() const { return static_cast<int>(m_pages.size()); }
    int operatingPages() const;
    long closedOverLimits() const { return m_closedOverLimits; } // pages, since the start
    // Bytes held for all pages now: queued to send to them and buffered from them.
    qint64 heldBytes() const;

    // Microseconds from the end of each status event to each page's update leaving, newest
    // last (kept for measurements; at most 100,000).
    const std::vector<qint64> &updateLatenciesUs() const { return m_latenciesUs; }

private:
    struct Page
    {
        int id = 0;
        PanelConnection *connection = nullptr; // a child; closed and deleted when the page goes
        quint64 seq = 0;
        qint64 lastSentMs = -1000000;
        bool stateDue = true;
        bool mapDue = true;
        std::optional<std::chrono::steady_clock::time_point> statusSince;
        QTimer flush;
    };

    void onPageOpened(QTcpSocket *socket, const QByteArray &token);
    void onMessage(int id, const QByteArray &utf8);
    void runTokenChecks();
    // The page is gone: by its own doing (gone), or closed here with a code and reason.
    void onGone(int id, const QString &why, bool overLimits);
    void closePage(int id, quint16 code, const QString &why);
    std::unique_ptr<Page> takePage(int id);
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
    PageTexts m_texts;
    PanelFront m_front;
    QHostAddress m_address;
    MapGeometry m_map;
    QByteArray m_mapCache;   // the map's fields until the map changes
    QByteArray m_stateCache; // the state's fields until the next change
    std::map<int, std::unique_ptr<Page>> m_pages;
    QTimer m_heartbeats;
    QTimer m_tokenChecks; // when the next waiting token may be checked
    AddressNotes m_closedNotes;
    long m_closedOverLimits = 0;
    std::vector<qint64> m_latenciesUs;
};

} // namespace relm
