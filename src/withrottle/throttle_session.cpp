#include "withrottle/throttle_session.h"

#include "withrottle/throttle_line_reader.h"

#include <algorithm>

namespace relm {

static_assert(kThrottleTrainCount == kTrainCount);

namespace {

// Alerts are English: phones show them in a pop-up, and the small displays of hand throttles
// have Latin fonts only.
std::string refusalText(ReversalRefusal why, char train)
{
    const std::string name(1, train);
    switch (why) {
    case ReversalRefusal::UnderWay:
        return name + " is reversing already";
    case ReversalRefusal::NotOnLayout:
        return name + " is not on the layout";
    case ReversalRefusal::NotReported:
        return "No report of " + name + " yet: direction unchanged";
    case ReversalRefusal::Moving:
        break;
    }
    return name + " is moving: stop it before changing direction";
}

// A name as the notes may show it: printable, one line, not too long.
QString shownName(const std::string &text)
{
    const QList<uint> characters =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUcs4();
    QString name;
    for (qsizetype i = 0; i < characters.size() && i < ThrottleSession::kMaxNameChars; ++i) {
        const char32_t c = QChar::isPrint(characters[i]) ? characters[i] : U'?';
        name += QString::fromUcs4(&c, 1);
    }
    return name.trimmed();
}

} // namespace

ThrottleSession::ThrottleSession(Console &console, Clock clock, int id, QString address)
    : m_console(console)
    , m_clock(std::move(clock))
    , m_id(id)
    , m_address(std::move(address))
    , m_operator(console.newRemoteOperator())
{
    m_lastLine = m_lastUseful = m_rateWindow = m_clock();
}

QString ThrottleSession::who() const
{
    if (m_name.isEmpty())
        return QStringLiteral("#%1 (%2)").arg(QString::number(m_id), m_address);
    return QStringLiteral("%1 (#%2, %3)").arg(m_name, QString::number(m_id), m_address);
}

QString ThrottleSession::trainName(int t) const
{
    return QString(QChar::fromLatin1(relm::trainName(t)));
}

void ThrottleSession::send(const std::string &line)
{
    m_out += line;
    m_out += '\n';
}

void ThrottleSession::alert(const std::string &text)
{
    send(alertLine(text));
}

void ThrottleSession::greet(const ThrottleView &view)
{
    for (const std::string &line : greetingLines(view.power, view.pointThrown, kHeartbeatSeconds))
        send(line);
    for (int t = 0; t < kTrainCount; ++t)
        m_toldPoint[static_cast<std::size_t>(t)] = view.pointThrown[static_cast<std::size_t>(t)];
    m_toldPower = view.power;
}

bool ThrottleSession::withinRate()
{
    const qint64 now = m_clock();
    if (now - m_rateWindow >= 1000) {
        m_rateWindow = now;
        m_linesInWindow = 0;
    }
    if (++m_linesInWindow <= kLinesPerSecond)
        return true;
    if (m_linesInWindow == kLinesPerSecond + 1) { // one alert a second, one note a connection
        alert("Too many lines: at most " + std::to_string(kLinesPerSecond) +
              " a second, the rest are dropped");
        if (!std::exchange(m_floodNoted, true))
            m_console.note(tr("スロットル %1: 1 秒 %2 行を超えた行を捨てました")
                               .arg(who(), QString::number(kLinesPerSecond)));
    }
    return false;
}

void ThrottleSession::receive(std::string_view text)
{
    m_lastLine = m_clock(); // any line says the connection lives
    if (!withinRate())
        return;
    const ThrottleLine line = parseThrottleLine(text);
    if (line.command == ThrottleCommand::Unknown)
        return; // raw packets, consists, old forms, routes: never acted on
    m_lastUseful = m_lastLine;
    act(line);
}

void ThrottleSession::dropped(int lines)
{
    if (lines <= 0)
        return;
    alert("Line too long (over " + std::to_string(kMaxThrottleLineBytes) + " bytes): dropped");
    if (!std::exchange(m_longNoted, true))
        m_console.note(tr("スロットル %1: %2 バイトを超える行を捨てました")
                           .arg(who(), QString::number(kMaxThrottleLineBytes)));
}

void ThrottleSession::act(const ThrottleLine &line)
{
    switch (line.command) {
    case ThrottleCommand::Name:
        setName(line.text);
        send(heartbeatLine(kHeartbeatSeconds));
        break;
    case ThrottleCommand::Quit:
        m_quit = true;
        break;
    case ThrottleCommand::Power:
        alert("Track power is switched at the RELM console (Transfer, Reset)");
        m_toldPower.reset();
        break;
    case ThrottleCommand::Point:
        point(line);
        break;
    case ThrottleCommand::Acquire:
        acquire(line);
        break;
    case ThrottleCommand::Release:
        release(line);
        break;
    case ThrottleCommand::Steal:
        alert("Trains are shared here: acquire them as usual, nothing to steal");
        break;
    case ThrottleCommand::Action:
        action(line);
        break;
    case ThrottleCommand::DeviceId:
    case ThrottleCommand::Heartbeat:
    case ThrottleCommand::HeartbeatOn:
    case ThrottleCommand::HeartbeatOff: // the heartbeat is watched whatever the throttle says
    case ThrottleCommand::Unknown:
        break;
    }
}

void ThrottleSession::setName(const std::string &text)
{
    const QString name = shownName(text);
    if (name.isEmpty() || name == m_name)
        return;
    m_console.note(
        tr("スロットル #%1 (%2) の名前: %3").arg(QString::number(m_id), m_address, name));
    m_name = name;
}

void ThrottleSession::acquire(const ThrottleLine &line)
{
    const std::optional<int> t =
        line.text.starts_with('E') ? trainOfRosterEntry(line.text) : trainOfAddress(line.text);
    if (!t) {
        alert("RELM runs trains X, Y and Z only (addresses S1, S2, S3)");
        return;
    }
    if (line.key != trainAddress(*t) && line.key != rosterEntry(*t)) {
        alert("Acquire " + std::string(1, relm::trainName(*t)) + " as " + trainAddress(*t) +
              " (or by its roster entry, " + rosterEntry(*t) + ")");
        return;
    }
    const auto same = std::find_if(m_held.begin(), m_held.end(), [&](const Held &h) {
        return h.throttle == line.throttle && h.train == *t;
    });
    if (same != m_held.end() && same->key != line.key) {
        alert(std::string(1, relm::trainName(*t)) + " is on throttle " +
              std::string(1, line.throttle) + " already, as " + same->key);
        return;
    }
    if (same == m_held.end() && static_cast<int>(m_held.size()) >= kMaxHeld) {
        alert("At most " + std::to_string(kMaxHeld) + " trains on one connection");
        return;
    }
    Held &held = same != m_held.end() ? *same : m_held.emplace_back();
    held.throttle = line.throttle;
    held.key = line.key;
    held.train = *t;
    send(throttleLine(held.throttle, '+', held.key, {}));
    sendSpeed(held, throttleSpeedOfTrain(m_console, *t));
    sendDirection(held, !m_console.runsReverse(*t));
    send(throttleLine(held.throttle, 'A', held.key, "s1"));
}

void ThrottleSession::release(const ThrottleLine &line)
{
    std::vector<int> released;
    std::erase_if(m_held, [&](const Held &h) {
        if (h.throttle != line.throttle || (line.key != "*" && h.key != line.key))
            return false;
        send(throttleLine(h.throttle, '-', h.key, {}));
        released.push_back(h.train);
        return true;
    });
    // A train no throttle of this connection holds any more is the desk's again, still running.
    for (const int t : released) {
        if (!holds(t))
            m_console.handBack(t, m_operator);
    }
}

bool ThrottleSession::holds(int t) const
{
    return std::any_of(m_held.begin(), m_held.end(), [t](const Held &h) { return h.train == t; });
}

std::vector<ThrottleSession::Held *> ThrottleSession::heldBy(char throttle, const std::string &key)
{
    std::vector<Held *> found;
    for (Held &h : m_held) {
        if (h.throttle == throttle && (key == "*" || h.key == key))
            found.push_back(&h);
    }
    return found;
}

void ThrottleSession::action(const ThrottleLine &line)
{
    // A throttle the server refused to give a train still sends for it: nothing is held.
    for (Held *held : heldBy(line.throttle, line.key)) {
        switch (line.action) {
        case ThrottleAction::Speed:
            speed(*held, line.value);
            break;
        case ThrottleAction::EStop:
            emergencyStop(*held);
            break;
        case ThrottleAction::Idle:
            held->toldSpeed = -1; // its slider may still show the speed: put it at 0
            m_console.stop(held->train);
            break;
        case ThrottleAction::Direction:
            direction(*held, line.value != 0);
            break;
        case ThrottleAction::Query:
            query(*held, line.value);
            break;
        case ThrottleAction::SpeedSteps: // always 128 steps
            send(throttleLine(held->throttle, 'A', held->key, "s1"));
            break;
        case ThrottleAction::Other: // functions and the like: these trains have none
            break;
        }
    }
}

void ThrottleSession::speed(Held &held, int value)
{
    if (value < 0) { // the protocol's way of writing an emergency stop
        emergencyStop(held);
        return;
    }
    if (value > kThrottleTopSpeed) {
        alert("Speed 0 to " + std::to_string(kThrottleTopSpeed) + " only");
        held.toldSpeed = -1; // its slider shows what it sent: put it back
        return;
    }
    held.toldSpeed = value; // it shows that already: the console's answer is no news to it
    if (value == 0)
        m_console.stop(held.train);
    else
        m_console.requestSpeed(held.train, consoleSpeedOf(value), m_operator);
}

void ThrottleSession::emergencyStop(Held &held)
{
    held.toldSpeed = -1;
    m_console.emergencyStop(held.train);
    m_console.note(tr("スロットル %1: 列車 %2 非常停止").arg(who(), trainName(held.train)));
}

void ThrottleSession::direction(Held &held, bool forward)
{
    const int t = held.train;
    const bool reverse = m_console.runsReverse(t);
    const bool pending = m_console.module().RevState[static_cast<std::size_t>(t)] != kRevIdle;
    const bool willRunForward = pending ? reverse : !reverse;
    if (forward == willRunForward) {
        held.toldForward = forward;
        return;
    }
    if (const std::optional<ReversalRefusal> why = m_console.reversalRefusal(t)) {
        alert(refusalText(*why, relm::trainName(t)));
        sendDirection(held, !reverse); // the direction it shows must be the train's
        return;
    }
    held.toldForward = forward; // the throttle shows it already; the train follows
    m_console.reverse(t);
}

void ThrottleSession::query(Held &held, int what)
{
    if (what == 'V')
        sendSpeed(held, throttleSpeedOfTrain(m_console, held.train));
    else if (what == 'R')
        sendDirection(held, !m_console.runsReverse(held.train));
    else if (what == 's')
        send(throttleLine(held.throttle, 'A', held.key, "s1"));
}

void ThrottleSession::sendSpeed(Held &held, int value)
{
    held.toldSpeed = value;
    send(throttleLine(held.throttle, 'A', held.key, "V" + std::to_string(value)));
}

void ThrottleSession::sendDirection(Held &held, bool forward)
{
    held.toldForward = forward;
    send(throttleLine(held.throttle, 'A', held.key, forward ? "R1" : "R0"));
}

void ThrottleSession::point(const ThrottleLine &line)
{
    const std::optional<int> t = trainOfPoint(line.text);
    if (!t) {
        alert("No point " + line.text + " here: the points are " + pointName(0) + ", " +
              pointName(1) + " and " + pointName(2));
        return;
    }
    const bool thrown = m_console.module().PointReq[static_cast<std::size_t>(*t)] != 0;
    if (line.state == '2' || (line.state == 'T') != thrown)
        m_console.point(*t);
    m_toldPoint[static_cast<std::size_t>(*t)].reset(); // told the state, whatever it is now
}

void ThrottleSession::update(const ThrottleView &view)
{
    for (Held &held : m_held) {
        const auto t = static_cast<std::size_t>(held.train);
        if (held.toldSpeed != view.speed[t])
            sendSpeed(held, view.speed[t]);
        if (view.forward[t] && held.toldForward != view.forward[t])
            sendDirection(held, *view.forward[t]);
    }
    for (int t = 0; t < kTrainCount; ++t) {
        const auto i = static_cast<std::size_t>(t);
        if (m_toldPoint[i] != view.pointThrown[i]) {
            send(pointLine(t, view.pointThrown[i]));
            m_toldPoint[i] = view.pointThrown[i];
        }
    }
    if (m_toldPower != view.power) {
        send(powerLine(view.power));
        m_toldPower = view.power;
    }
}

void ThrottleSession::checkSilence()
{
    if (m_clock() - m_lastLine < kSilenceLimitMs)
        return;
    const std::vector<int> stopped = m_console.remoteOperatorGone(m_operator);
    for (const int t : stopped) {
        m_console.note(tr("スロットル %1 から %2 秒間応答なし: 列車 %3 を停止")
                           .arg(who(), QString::number(kSilenceLimitMs / 1000), trainName(t)));
        alert("No word from this throttle for " + std::to_string(kSilenceLimitMs / 1000) +
              " s: " + std::string(1, relm::trainName(t)) + " stopped");
    }
}

void ThrottleSession::closed(const QString &why)
{
    m_console.note(tr("スロットル切断: %1, %2").arg(who(), why));
    if (!m_quit) {
        for (const int t : m_console.remoteOperatorGone(m_operator))
            m_console.note(tr("スロットル %1 がいなくなりました (%2): 列車 %3 を停止")
                               .arg(who(), why, trainName(t)));
        return;
    }
    // Q: it left in good order, and the desk has its trains, running as they were.
    for (int t = 0; t < kTrainCount; ++t) {
        if (m_console.handBack(t, m_operator))
            m_console.note(
                tr("スロットル %1 が終了: 列車 %2 は走行を続けます").arg(who(), trainName(t)));
    }
}

} // namespace relm
