#include "withrottle/throttle_protocol.h"

#include <charconv>

namespace relm {

namespace {

constexpr std::array<char, kThrottleTrainCount> kTrainNames{'X', 'Y', 'Z'};
constexpr int kMaxNumberDigits = 6; // more than any speed or mode needs

bool printable(char c)
{
    return c > ' ' && c < '\x7F';
}

// A whole decimal number, optionally negative, of at most kMaxNumberDigits digits.
std::optional<int> number(std::string_view text)
{
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > kMaxNumberDigits)
        return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return negative ? -value : value;
}

void readAction(std::string_view text, ThrottleLine &line)
{
    line.action = ThrottleAction::Other;
    if (text.empty())
        return;
    const std::string_view rest = text.substr(1);
    switch (text.front()) {
    case 'V':
        if (const auto v = number(rest)) {
            line.action = ThrottleAction::Speed;
            line.value = *v;
        }
        break;
    case 'X':
        if (rest.empty())
            line.action = ThrottleAction::EStop;
        break;
    case 'I':
        if (rest.empty())
            line.action = ThrottleAction::Idle;
        break;
    case 'R':
        // 0 is reverse, any other value forward.
        if (const auto v = number(rest); v && *v >= 0) {
            line.action = ThrottleAction::Direction;
            line.value = *v == 0 ? 0 : 1;
        }
        break;
    case 'q':
        if (rest.size() == 1) {
            line.action = ThrottleAction::Query;
            line.value = rest.front();
        }
        break;
    case 's':
        if (number(rest))
            line.action = ThrottleAction::SpeedSteps;
        break;
    default:
        break;
    }
}

// M<t><op><key><;><payload>
ThrottleLine readMultiThrottle(std::string_view text)
{
    ThrottleLine line;
    if (text.size() < 3 || !printable(text[1]))
        return line;
    const std::size_t separator = text.find(kThrottlePartSeparator, 3);
    if (separator == std::string_view::npos || separator == 3)
        return line;
    const std::string_view key = text.substr(3, separator - 3);
    const std::string_view payload = text.substr(separator + kThrottlePartSeparator.size());
    line.throttle = text[1];
    line.key = std::string(key);
    switch (text[2]) {
    case '+':
        if (payload.empty() || payload.find(kThrottlePartSeparator) != std::string_view::npos)
            return ThrottleLine();
        line.command = ThrottleCommand::Acquire;
        line.text = std::string(payload);
        break;
    case '-':
        line.command = ThrottleCommand::Release;
        break;
    case 'S':
        line.command = ThrottleCommand::Steal;
        break;
    case 'A':
        line.command = ThrottleCommand::Action;
        readAction(payload, line);
        break;
    default:
        return ThrottleLine();
    }
    return line;
}

} // namespace

ThrottleLine parseThrottleLine(std::string_view text)
{
    ThrottleLine line;
    if (text.empty())
        return line;
    switch (text.front()) {
    case 'N':
        line.command = ThrottleCommand::Name;
        line.text = std::string(text.substr(1));
        return line;
    case 'H':
        if (text.starts_with("HU")) {
            line.command = ThrottleCommand::DeviceId;
            line.text = std::string(text.substr(2));
        }
        return line;
    case '*':
        if (text == "*")
            line.command = ThrottleCommand::Heartbeat;
        else if (text == "*+")
            line.command = ThrottleCommand::HeartbeatOn;
        else if (text == "*-")
            line.command = ThrottleCommand::HeartbeatOff;
        return line;
    case 'Q':
        if (text == "Q")
            line.command = ThrottleCommand::Quit;
        return line;
    case 'P':
        if (text.size() == 4 && text.starts_with("PPA") &&
            (text[3] == '0' || text[3] == '1' || text[3] == '2')) {
            line.command = ThrottleCommand::Power;
            line.state = text[3];
        } else if (text.size() > 4 && text.starts_with("PTA") &&
                   (text[3] == 'C' || text[3] == 'T' || text[3] == '2')) {
            line.command = ThrottleCommand::Point;
            line.state = text[3];
            line.text = std::string(text.substr(4));
        }
        return line;
    case 'M':
        return readMultiThrottle(text);
    default:
        return line;
    }
}

std::optional<int> trainOfAddress(std::string_view address)
{
    for (int t = 0; t < kThrottleTrainCount; ++t) {
        if (address == trainAddress(t))
            return t;
    }
    return std::nullopt;
}

std::optional<int> trainOfRosterEntry(std::string_view entry)
{
    for (int t = 0; t < kThrottleTrainCount; ++t) {
        if (entry == rosterEntry(t))
            return t;
    }
    return std::nullopt;
}

std::string trainAddress(int t)
{
    return "S" + std::to_string(t + 1);
}

std::string rosterEntry(int t)
{
    return std::string{'E', trainName(t)};
}

char trainName(int t)
{
    return kTrainNames[static_cast<std::size_t>(t)];
}

std::string pointName(int t)
{
    return std::string{'P', trainName(t), '1'};
}

std::optional<int> trainOfPoint(std::string_view name)
{
    for (int t = 0; t < kThrottleTrainCount; ++t) {
        if (name == pointName(t))
            return t;
    }
    return std::nullopt;
}

std::vector<std::string> greetingLines(char power,
                                       const std::array<bool, kThrottleTrainCount> &pointThrown,
                                       int heartbeatSeconds)
{
    std::string roster = "RL" + std::to_string(kThrottleTrainCount);
    std::string points = "PTL";
    for (int t = 0; t < kThrottleTrainCount; ++t) {
        roster += std::string(kThrottleListSeparator) + trainName(t) +
                  std::string(kThrottleFieldSeparator) + std::to_string(t + 1) +
                  std::string(kThrottleFieldSeparator) + 'S';
        points += std::string(kThrottleListSeparator) + pointName(t) +
                  std::string(kThrottleFieldSeparator) + "Point ahead of " + trainName(t) +
                  std::string(kThrottleFieldSeparator) +
                  (pointThrown[static_cast<std::size_t>(t)] ? '4' : '2');
    }
    return {"VN2.0",          roster,
            powerLine(power), "PTT]\\[Turnouts}|{Turnout]\\[Closed}|{2]\\[Thrown}|{4",
            points,           heartbeatLine(heartbeatSeconds)};
}

std::string powerLine(char power)
{
    return std::string("PPA") + power;
}

std::string pointLine(int t, bool thrown)
{
    return std::string("PTA") + (thrown ? '4' : '2') + pointName(t);
}

std::string heartbeatLine(int seconds)
{
    return "*" + std::to_string(seconds);
}

std::string alertLine(std::string_view text)
{
    std::string line = "HM" + std::string(text);
    for (char &c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return line;
}

std::string throttleLine(char throttle, char op, std::string_view key, std::string_view payload)
{
    std::string line{'M', throttle, op};
    line += key;
    line += kThrottlePartSeparator;
    line += payload;
    return line;
}

} // namespace relm
