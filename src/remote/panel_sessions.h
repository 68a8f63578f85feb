#pragma once

// Who may operate from a panel page, which pages may come in, and what happens when an
// operating page goes away. Knows nothing of sockets: the server asks it before it lets a page
// in, hands it each page's messages and tells it when a page has gone.
//
// - A page watches until it shows the operator's token: in its WebSocket request
//   (/ws?token=...), compared as the page comes in, or in a hello. Tokens are compared in
//   constant time. A request's token costs a new connection, of which the front door takes a
//   bounded number a second; hellos are checked at most kTokenChecksPerSecond a second over all
//   pages together, and one that comes while that budget is spent waits its turn (one per
//   page). So guessing stays bounded over all addresses, while wrong tokens, from anywhere, can
//   delay the right one by a second or two but never refuse it. Wrong tokens are noted once a
//   minute per address.
// - Room is kept for the token: at most kMaxWatchingPages pages without it, kMaxWatchingPerAddress
//   of them from one address; a page that brings the right token in its request may take any
//   free place, and one that brings a wrong one is a page without it.
// - Every page sends a heartbeat every second; one silent for kHeartbeatTimeoutMs is closed.
// - Every command of an operating page goes to the console's own methods, as the window's
//   controls do.
// - Dead-man rule: when a page that set a train's speed above 0 closes, loses its connection or
//   falls silent, each train it was the last to set moving gets Stop, exactly as 停止, and a
//   note says so.

#include "remote/address_notes.h"

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
    static constexpr int kMaxWatchingPages = 12;
    static constexpr int kMaxWatchingPerAddress = 4;
    static constexpr qint64 kHeartbeatTimeoutMs = 3000;
    static constexpr int kTokenChecksPerSecond = 10;

    // What came of a page's hello once its turn came.
    struct TokenCheck
    {
        int id = 0;
        bool right = false;
    };

    PanelSessions(Console &console, QByteArray token, Clock clock);
    PanelSessions(const PanelSessions &) = delete;
    PanelSessions &operator=(const PanelSessions &) = delete;

    // Why a page from address, with the token it brings in its request (empty: none), may not
    // come in now, or nothing.
    std::optional<QString> refusal(const QString &address, const QByteArray &token) const;
    // A page came in from address with the token it brought in its request (or none): it
    // operates at once if the token is right. Returns its id. The caller has asked refusal().
    int open(const QString &address, const QByteArray &token = {});
    // The page closed or its connection was lost (why says which): the dead-man rule applies.
    void close(int id, const QString &why);
    int count() const { return static_cast<int>(m_pages.size()); }

    // One message of page id. Returns the error to send back, or nothing.
    std::optional<QString> handle(int id, const QByteArray &message);

    // Checks the hellos whose turn has come within the budget, oldest first.
    std::vector<TokenCheck> checkTokens();
    // Milliseconds until the next waiting hello may be checked; nothing when none waits.
    std::optional<qint64> nextCheckInMs() const;

    // Pages whose heartbeats stopped kHeartbeatTimeoutMs ago; the caller closes them (and calls
    // close()).
    std::vector<int> silent() const;

    bool operating(int id) const;

private:
    struct Page
    {
        QString address;
        bool operating = false;
        std::optional<QByteArray> waitingToken; // its hello's turn to be checked has not come
        qint64 lastHeartbeat = 0;
        int operatorId = 0; // the console's name for this page when it drives a train
    };

    bool isRight(const QByteArray &token) const;
    void wrongToken(const QString &address);
    int watching(const QString *address) const;

    Console &m_console;
    QByteArray m_token;
    Clock m_clock;
    int m_nextId = 1;
    std::map<int, Page> m_pages;
    std::deque<int> m_waiting; // pages whose hello waits, oldest first
    double m_checkAllowance = kTokenChecksPerSecond;
    qint64 m_checkAllowanceAt = 0;
    AddressNotes m_wrongTokenNotes;
};

} // namespace relm
