#pragma once

// The traffic log: every frame on the controller line, in both directions, one line per frame.
//
//   <ms> <TX|RX> <hex bytes> | <summary>
//
//   ms         time since the console started, a decimal integer from 0 to kMaxLogMs
//   TX / RX    TX is a frame the console wrote to the controller, RX a block it read from it
//   hex bytes  each byte as two hex digits, separated by single spaces; none for an empty read
//   summary    the decoded one-line summary of the frame; ignored when the log is read back
//
// Example:
//   1200 TX FF 06 03 0A 04 14 11 80 12 00 1F 80 20 00 | cmd X v=20 r3=0A | Y v=0 r3=80 | ...
//   1310 RX 02 01 03 00 00 14 00 00 80 ... | status X 02/01/03 v=20 | Y absent | Z absent
//
// Fields are separated by single spaces and the " | " after the bytes is required, so a line cut
// short by a crash is rejected rather than read as a shorter frame. When reading, upper- or
// lower-case hex is accepted, a trailing carriage return is ignored, and empty lines and lines
// starting with '#' are skipped. Lines end with '\n'; the writer flushes after every line.
//
// What the console tells the operator about the line and its trains besides the frames (a train
// stopped because a remote page went away, say) is written between them as a note, which
// readers skip like any '#' line:
//
//   # <ms> NOTE <text>

#include "traffic/frame_decoder.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace relm {

// The largest time a log line may carry (over 30,000 years), so that differences of log times
// never overflow.
inline constexpr std::int64_t kMaxLogMs = 1'000'000'000'000'000;

// One frame as the log holds it.
struct TrafficRecord
{
    std::int64_t ms = 0;
    Direction direction = Direction::ToController;
    std::vector<std::uint8_t> bytes;

    bool operator==(const TrafficRecord &) const = default;
};

// One log line, without the line end.
std::string formatLogLine(std::int64_t ms, Direction direction,
                          std::span<const std::uint8_t> bytes);

// The same line for the monitor window, with the hex cut after maxHexBytes bytes and the
// total shown ("00 00 ... (1031 bytes)"), so a download frame stays one readable line.
std::string formatMonitorLine(std::int64_t ms, Direction direction,
                              std::span<const std::uint8_t> bytes, std::size_t maxHexBytes);

// A note line, without the line end; the text's line breaks become blanks.
std::string formatNoteLine(std::int64_t ms, std::string_view text);

// A log line read back: the record, or why the line was rejected.
struct ParsedLogLine
{
    bool ok = false;
    TrafficRecord record;
    std::string error; // empty when ok
};

ParsedLogLine parseLogLine(std::string_view line);

// A rejected line of a whole log, numbered from 1.
struct LogLineError
{
    std::size_t lineNumber = 0;
    std::string reason;
};

struct TrafficLog
{
    std::vector<TrafficRecord> records;
    std::vector<LogLineError> errors;
};

// Reads every line; good lines become records, bad ones errors. Skips empty and '#' lines.
TrafficLog readTrafficLog(std::istream &in);

// Appends log lines to a file (opened for appending) or to a caller's stream, flushing each line
// so that the log is complete up to the last frame even if the console stops abruptly.
class TrafficLogWriter final
{
public:
    explicit TrafficLogWriter(const std::filesystem::path &path);
    explicit TrafficLogWriter(std::ostream &out);

    TrafficLogWriter(const TrafficLogWriter &) = delete;
    TrafficLogWriter &operator=(const TrafficLogWriter &) = delete;

    // False when the file could not be opened; every append then fails.
    bool isOpen() const;

    // Writes and flushes one line; false if the line could not be written completely. A time
    // outside 0..kMaxLogMs is refused (nothing is written): the log could not read it back.
    bool append(std::int64_t ms, Direction direction, std::span<const std::uint8_t> bytes);
    // Writes and flushes one note line, with the same rules.
    bool appendNote(std::int64_t ms, std::string_view text);

private:
    std::ofstream m_file;
    std::ostream *m_out = nullptr;
};

} // namespace relm
