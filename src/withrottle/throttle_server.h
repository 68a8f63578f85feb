#pragma once

#include "withrottle/mdns_advert.h"
#include "withrottle/throttle_line_reader.h"
#include "withrottle/throttle_session.h"
#include "withrottle/throttle_view.h"
#include "withrottle/withrottle.h"

#include <QObject>
#include <QTcpServer>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

class QTcpSocket;

namespace relm {

// The WiThrottle server on a QTcpServer in the console's own event loop. Greets every throttle,
// cuts what it sends into lines for its session, and after every change of the console (a
// decoded status frame, an operator command from anywhere) lets every session tell its
// throttle what changed. Decides nothing about trains.
//
// At most kMaxClients connections; one more is told so and closed. A connection whose output
// has piled up beyond kMaxQueuedBytes (a throttle that does not read) is closed, and so is one
// that has said nothing understood for ThrottleSession::kUsefulWithinMs.
class ThrottleServer final : public QObject, public WiThrottle
{
    Q_OBJECT

public:
    static constexpr int kMaxClients = 16;
    static constexpr qint64 kMaxQueuedBytes = 64 * 1024;
    static constexpr qint64 kReadBufferBytes = 4096; // read from the socket at most this at once
    static constexpr qint64 kRefusalNoteSpacingMs = 60000;

    ThrottleServer(Console &console, ThrottleSession::Clock clock, QObject *parent = nullptr);
    ThrottleServer(const ThrottleServer &) = delete;
    ThrottleServer &operator=(const ThrottleServer &) = delete;
    ~ThrottleServer() override;

    bool listen(const QHostAddress &address, quint16 port, QString *error);
    QHostAddress address() const override { return m_listener.serverAddress(); }
    quint16 port() const override { return m_listener.serverPort(); }

    // Advertises the service over mDNS while the server lives.
    void advertise(std::unique_ptr<MdnsAdvert> advert) { m_advert = std::move(advert); }

    // The dead-man rule and idle connections (runs by itself four times a second).
    void checkTimers();
    int clients() const { return static_cast<int>(m_clients.size()); }

    // Microseconds from the end of each status event until every throttle has been told what
    // it changed (handed to its socket), newest last; kept for measurements, at most 100,000.
    // All status frames while throttles are connected, and those that had news for one.
    const std::vector<qint64> &updateLatenciesUs() const { return m_latenciesUs; }
    const std::vector<qint64> &newsLatenciesUs() const { return m_newsLatenciesUs; }

private:
    struct Client
    {
        std::unique_ptr<QTcpSocket> socket;
        ThrottleLineReader reader;
        std::unique_ptr<ThrottleSession> session;
    };

    void onNewConnection();
    void refuse(QTcpSocket *socket);
    void onReadyRead(int id);
    void onGone(int id, const QString &why);
    void consoleChanged(bool statusFrame);
    std::size_t updateAll(); // bytes written
    bool write(Client &client, const std::string &out);
    Client *client(int id);

    Console &m_console;
    ThrottleSession::Clock m_clock;
    QTcpServer m_listener;
    ThrottleDirections m_directions;
    std::map<int, std::unique_ptr<Client>> m_clients;
    int m_nextId = 1;
    // While sessions act, the console's signals only mark a change; one update follows.
    bool m_acting = false;
    qint64 m_lastRefusalNote = -kRefusalNoteSpacingMs;
    QTimer m_soon;   // an update due at the next turn of the event loop
    QTimer m_timers; // the dead-man rule and idle connections
    std::vector<qint64> m_latenciesUs;
    std::vector<qint64> m_newsLatenciesUs;
    std::unique_ptr<MdnsAdvert> m_advert;
};

} // namespace relm
