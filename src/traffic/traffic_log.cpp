#include "traffic/traffic_log.h"

#include <charconv>
#include <istream>
#include <ostream>

namespace relm {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string_view withoutLineEnd(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

// Takes the next space-separated field off the front of rest; false at the end of the line.
bool nextField(std::string_view &rest, std::string_view &field)
{
    if (rest.empty())
        return false;
    const std::size_t space = rest.find(' ');
    field = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    return true;
}

ParsedLogLine rejected(std::string reason)
{
    ParsedLogLine p;
    p.error = std::move(reason);
    return p;
}

std::string linePrefix(std::int64_t ms, Direction direction)
{
    return std::to_string(ms) + ' ' + directionTag(direction);
}

} // namespace

std::string formatLogLine(std::int64_t ms, Direction direction, std::span<const std::uint8_t> bytes)
{
    std::string line = linePrefix(ms, direction);
    if (!bytes.empty())
        line += ' ' + hexBytes(bytes);
    return line + " | " + decodeFrame(direction, bytes).summary;
}

std::string formatMonitorLine(std::int64_t ms, Direction direction,
                              std::span<const std::uint8_t> bytes, std::size_t maxHexBytes)
{
    if (bytes.size() <= maxHexBytes)
        return formatLogLine(ms, direction, bytes);
    std::string line = linePrefix(ms, direction);
    if (maxHexBytes > 0)
        line += ' ' + hexBytes(bytes.first(maxHexBytes));
    line += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return line + " | " + decodeFrame(direction, bytes).summary;
}

std::string formatNoteLine(std::int64_t ms, std::string_view text)
{
    std::string line = "# " + std::to_string(ms) + " NOTE ";
    for (const char c : text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    return line;
}

ParsedLogLine parseLogLine(std::string_view line)
{
    std::string_view rest = withoutLineEnd(line);
    if (rest.empty())
        return rejected("empty line");

    ParsedLogLine parsed;
    std::string_view field;

    nextField(rest, field);
    if (field.empty() || field.find_first_not_of("0123456789") != std::string_view::npos)
        return rejected("time '" + std::string(field) + "' is not a whole number of ms");
    const auto [end, ec] =
        std::from_chars(field.data(), field.data() + field.size(), parsed.record.ms);
    if (ec != std::errc{} || end != field.data() + field.size() || parsed.record.ms > kMaxLogMs)
        return rejected("time '" + std::string(field) + "' is out of range");

    if (!nextField(rest, field))
        return rejected("missing direction after the time");
    if (field == "TX")
        parsed.record.direction = Direction::ToController;
    else if (field == "RX")
        parsed.record.direction = Direction::FromController;
    else
        return rejected("direction '" + std::string(field) + "' is neither TX nor RX");

    while (true) {
        if (!nextField(rest, field))
            return rejected("no ' | ' after the bytes: the line is cut short");
        if (field == "|")
            break;
        const int high = field.size() == 2 ? hexValue(field[0]) : -1;
        const int low = field.size() == 2 ? hexValue(field[1]) : -1;
        if (high < 0 || low < 0) {
            return rejected("byte " + std::to_string(parsed.record.bytes.size() + 1) + " '" +
                            std::string(field) + "' is not two hex digits");
        }
        parsed.record.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    // What follows the separator is the summary; the bytes alone are the record.
    parsed.ok = true;
    return parsed;
}

TrafficLog readTrafficLog(std::istream &in)
{
    TrafficLog log;
    std::string line;
    std::size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string_view text = withoutLineEnd(line);
        if (text.empty() || text.front() == '#')
            continue;
        ParsedLogLine parsed = parseLogLine(text);
        if (parsed.ok)
            log.records.push_back(std::move(parsed.record));
        else
            log.errors.push_back({number, std::move(parsed.error)});
    }
    return log;
}

TrafficLogWriter::TrafficLogWriter(const std::filesystem::path &path)
    : m_file(path, std::ios::out | std::ios::app | std::ios::binary)
{
    if (m_file.is_open())
        m_out = &m_file;
}

TrafficLogWriter::TrafficLogWriter(std::ostream &out)
    : m_out(&out)
{}

bool TrafficLogWriter::isOpen() const
{
    return m_out != nullptr;
}

bool TrafficLogWriter::append(std::int64_t ms, Direction direction,
                              std::span<const std::uint8_t> bytes)
{
    if (m_out == nullptr || ms < 0 || ms > kMaxLogMs)
        return false;
    *m_out << formatLogLine(ms, direction, bytes) << '\n';
    m_out->flush();
    return m_out->good();
}

bool TrafficLogWriter::appendNote(std::int64_t ms, std::string_view text)
{
    if (m_out == nullptr || ms < 0 || ms > kMaxLogMs)
        return false;
    *m_out << formatNoteLine(ms, text) << '\n';
    m_out->flush();
    return m_out->good();
}

} // namespace relm
