#pragma once

// One throttle connection: its lines become calls on the console, and what the console shows
// becomes lines for it. Knows nothing of sockets: the server hands it each line, each change of
// the console and the time, and sends what it has written.
//
// - Several throttles, of one connection or of many, may hold the same train; the desk and the
//   remote panel keep operating it, and the last command wins. Every holder is told every
//   change in the key it acquired the train with.
// - Speed 0 and I are 停止, X is 非常停止 (speed 0 in the next frame), a direction change of a
//   standing train is 逆転 and of a moving one refused, a point command is ポイント. Power,
//   Transfer, Reset and Exit stay with the desk and the panel.
// - Dead-man rule: a connection that has set a train moving and says nothing for
//   kSilenceLimitMs (its heartbeat period and a margin), or goes away without Q, has the trains
//   it was the last to set moving stopped, as with 停止, and a note says so. They stay stopped.
// - A connection that says nothing the server understands for kUsefulWithinMs is closed; lines
//   beyond kLinesPerSecond are dropped; unknown lines are ignored.

#include "console/console.h"
#include "withrottle/throttle_protocol.h"
#include "withrottle/throttle_view.h"

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace relm {

class ThrottleSession final
{
    Q_DECLARE_TR_FUNCTIONS(relm::ThrottleSession)

public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    static constexpr int kHeartbeatSeconds = 4; // a client library beats every half period
    static constexpr qint64 kSilenceLimitMs = kHeartbeatSeconds * 1000 + 1000;
    static constexpr qint64 kUsefulWithinMs = 10000;
    static constexpr int kLinesPerSecond = 40; // twice what a client library ever sends
    static constexpr int kMaxHeld = 24;        // trains held by all throttles of one connection
    static constexpr int kMaxNameChars = 64;

    ThrottleSession(Console &console, Clock clock, int id, QString address);
    ThrottleSession(const ThrottleSession &) = delete;
    ThrottleSession &operator=(const ThrottleSession &) = delete;

    // What the throttle needs before it acts.
    void greet(const ThrottleView &view);
    // One line, without its ending.
    void receive(std::string_view text);
    // Lines the reader dropped for being too long.
    void dropped(int lines);
    // Tells the throttle whatever differs from what it was last told.
    void update(const ThrottleView &view);
    // The dead-man rule for a connection gone silent; the time is the clock's.
    void checkSilence();
    // Nothing understood for kUsefulWithinMs: the server closes the connection.
    bool idle() const { return m_clock() - m_lastUseful >= kUsefulWithinMs; }
    bool quitting() const { return m_quit; }
    // The connection ended (why, for the note). Without Q, its trains stop.
    void closed(const QString &why);

    // Lines written since the last call, each ended by a line feed.
    std::string takeOutput() { return std::exchange(m_out, std::string()); }

    int id() const { return m_id; }
    const QString &name() const { return m_name; }
    // Name, id and address, as the notes give them.
    QString who() const;

private:
    // A train held by one of the connection's throttles.
    struct Held
    {
        char throttle = 0;
        std::string key; // as the throttle acquired it
        int train = 0;
        int toldSpeed = -1; // throttle scale; -1 when unknown
        std::optional<bool> toldForward;
    };

    bool withinRate();
    void act(const ThrottleLine &line);
    void acquire(const ThrottleLine &line);
    void release(const ThrottleLine &line);
    void action(const ThrottleLine &line);
    void speed(Held &held, int value);
    void emergencyStop(Held &held);
    void direction(Held &held, bool forward);
    void query(Held &held, int what);
    void point(const ThrottleLine &line);
    void setName(const std::string &text);
    std::vector<Held *> heldBy(char throttle, const std::string &key);
    bool holds(int t) const;
    void sendSpeed(Held &held, int value);
    void sendDirection(Held &held, bool forward);
    void send(const std::string &line);
    void alert(const std::string &text);
    QString trainName(int t) const;

    Console &m_console;
    Clock m_clock;
    int m_id;
    QString m_address;
    QString m_name;
    Console::OperatorId m_operator;
    std::vector<Held> m_held;
    std::array<std::optional<bool>, kTrainCount> m_toldPoint; // thrown; none: tell it again
    std::optional<char> m_toldPower;
    qint64 m_lastLine = 0;   // any line: the connection lives
    qint64 m_lastUseful = 0; // a line the server understood
    qint64 m_rateWindow = 0; // start of the current second
    int m_linesInWindow = 0;
    bool m_floodNoted = false;
    bool m_longNoted = false;
    bool m_quit = false;
    std::string m_out;
};

} // namespace relm
