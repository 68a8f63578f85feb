#pragma once

// Who may operate from a panel page and what happens when an operating page goes away. Knows
// nothing of sockets: the server hands it each page's messages and tells it when a page has gone.
//
// - A page watches until it says hello with the operator's token; the token is compared in
//   constant time. Five wrong tokens from one address within a minute lock that address out for
//   a minute.
// - Every command of an operating page goes to the console's own methods, as the window's
//   controls do.
// - Dead-man rule: an operating page sends a heartbeat every second. When a page that set a
//   train's speed above 0 closes, loses its connection or misses its heartbeats for 3 s, each
//   train it was the last to set moving gets Stop, exactly as 停止, and a note says so.

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace relm {

class Console;

class PanelSessions final
{
public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    static constexpr int kMaxPages = 16;
    static constexpr qint64 kHeartbeatTimeoutMs = 3000;
    static constexpr int kWrongTokensToLock = 5;
    static constexpr qint64 kWrongTokenWindowMs = 60000;
    static constexpr qint64 kLockOutMs = 60000;
    static constexpr int kMessagesPerSecond = 40;

    PanelSessions(Console &console, QByteArray token, Clock clock);
    PanelSessions(const PanelSessions &) = delete;
    PanelSessions &operator=(const PanelSessions &) = delete;

    bool lockedOut(const QString &address) const;
    bool full() const { return static_cast<int>(m_pages.size()) >= kMaxPages; }
    int count() const { return static_cast<int>(m_pages.size()); }

    // A page connected from address; returns its id. The caller has checked full().
    int open(const QString &address);
    // The page closed or its connection was lost (why says which): the dead-man rule applies.
    void close(int id, const QString &why);

    // One message of page id. Returns the error to send back, or nothing.
    std::optional<QString> handle(int id, const QByteArray &message);

    // Operating pages whose heartbeats stopped kHeartbeatTimeoutMs ago; the caller closes them
    // (and calls close()).
    std::vector<int> silent() const;

    bool operating(int id) const;

private:
    struct Page
    {
        QString address;
        bool operating = false;
        qint64 lastHeartbeat = 0;
        double allowance = kMessagesPerSecond; // messages it may still send now
        qint64 allowanceAt = 0;
        qint64 lastRateError = -1000000;
        int operatorId = 0; // the console's name for this page when it drives a train
    };
    struct Failures
    {
        std::deque<qint64> times;
        qint64 lockedUntil = 0;
    };

    bool withinRate(Page &page);
    QString hello(Page &page, const QByteArray &token);
    void wrongToken(const QString &address);

    Console &m_console;
    QByteArray m_token;
    Clock m_clock;
    int m_nextId = 1;
    std::map<int, Page> m_pages;
    std::map<QString, Failures> m_failures;
};

} // namespace relm
