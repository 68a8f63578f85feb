#pragma once

// The WiThrottle lines of phone apps and hand throttles, read before the console hears of them,
// and the lines the console's throttle server sends back. Plain C++ without Qt, so that every
// line form is tested and fuzzed on its own.
//
// What a throttle sends (one command a line; the server reads CR, LF and CRLF alike):
//   N<name>                   its name; sent again with every heartbeat
//   HU<id>                    a device id
//   *   *+   *-               heartbeat; heartbeat wanted, not wanted
//   Q                         it leaves
//   PPA<0|1>                  track power
//   PTA<C|T|2><point>         close, throw or toggle a point
//   M<t>+<key><;><S1|EX>      acquire a train on throttle t, by address or by roster name
//   M<t>-<key|*><;>r          release it (d: dispatch, the same here)
//   M<t>S<key><;><key>        take a train held elsewhere
//   M<t>A<key|*><;><action>   V<0..126> speed, X emergency stop, I idle, R<0|1> direction,
//                             q<V|R|s> ask again, s<n> speed steps, F/f functions, ...
// Everything else (raw packets D…, consists RC…, the old single-throttle forms, routes, fast
// clock) is Unknown: ignored, as the protocol asks.
//
// The layout as throttles see it: trains X, Y, Z at short addresses 1, 2, 3, and one point per
// train, "the point ahead of X" (PX1, PY1, PZ1: a common client library cuts the last character
// off a point's name in updates, so the names differ before it).

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relm {

inline constexpr int kThrottleTrainCount = 3;
inline constexpr int kThrottleTopSpeed = 126; // a throttle's full speed; the console's is 128

// The line's delimiters.
inline constexpr std::string_view kThrottlePartSeparator = "<;>";
inline constexpr std::string_view kThrottleListSeparator = "]\\[";
inline constexpr std::string_view kThrottleFieldSeparator = "}|{";

enum class ThrottleCommand {
    Unknown,
    Name,         // text: the name
    DeviceId,     // text: the id
    Heartbeat,    // *
    HeartbeatOn,  // *+
    HeartbeatOff, // *-
    Quit,         // Q
    Power,        // state: '0', '1' or '2'
    Point,        // state: 'C', 'T' or '2'; text: the point's name
    Acquire,      // throttle, key; text: what to acquire (S1, EX, ...)
    Release,      // throttle, key (or "*")
    Steal,        // throttle, key
    Action,       // throttle, key (or "*"), action, value
};

enum class ThrottleAction {
    Other,      // functions, momentary, consist, set address, ...: nothing to do here
    Speed,      // value: as sent, may be out of 0..126
    EStop,      // X
    Idle,       // I
    Direction,  // value: 0 reverse, 1 forward
    Query,      // value: the character asked about (V, R, s, ...)
    SpeedSteps, // s<mode>
};

struct ThrottleLine
{
    ThrottleCommand command = ThrottleCommand::Unknown;
    char throttle = 0; // M: the throttle's id, one printable character
    std::string key;   // M: the train's key as the throttle writes it, or "*"
    std::string text;  // N, HU: the name or id; PTA: the point; M+: what to acquire
    char state = 0;    // PPA, PTA
    ThrottleAction action = ThrottleAction::Other;
    int value = 0; // A: the speed, the direction or the query

    bool operator==(const ThrottleLine &) const = default;
};

// Reads one line, without its line ending. Never fails: what it cannot read is Unknown.
ThrottleLine parseThrottleLine(std::string_view line);

// Speed scales: a throttle's 0..126 and the console's 0..128, each rounded to the nearest.
// Both ends stay fixed, and every throttle speed comes back unchanged from the console's.
constexpr int consoleSpeedOf(int throttleSpeed)
{
    return (throttleSpeed * 128 + kThrottleTopSpeed / 2) / kThrottleTopSpeed;
}
constexpr int throttleSpeedOf(int consoleSpeed)
{
    return (consoleSpeed * kThrottleTopSpeed + 64) / 128;
}

// The train a key or an acquire names: an address (S1..S3) or a roster entry (EX, EY, EZ).
std::optional<int> trainOfAddress(std::string_view address);
std::optional<int> trainOfRosterEntry(std::string_view entry);
std::string trainAddress(int t); // "S1"
std::string rosterEntry(int t);  // "EX"
char trainName(int t);           // 'X'

// The point ahead of train t, by its name in PTA lines.
std::string pointName(int t);
std::optional<int> trainOfPoint(std::string_view name);

// What the server sends when a throttle connects, before it says anything: version, roster,
// power, the point states' labels and the points, and the heartbeat period.
std::vector<std::string> greetingLines(char power,
                                       const std::array<bool, kThrottleTrainCount> &pointThrown,
                                       int heartbeatSeconds);

// Single lines, without line ending.
std::string powerLine(char power);            // PPA1
std::string pointLine(int t, bool thrown);    // PTA4PX1
std::string heartbeatLine(int seconds);       // *4
std::string alertLine(std::string_view text); // HM…, with line breaks made blanks
// M<t><op><key><;><payload>, e.g. M0AS1<;>V50 or M0+S1<;>
std::string throttleLine(char throttle, char op, std::string_view key, std::string_view payload);

} // namespace relm
