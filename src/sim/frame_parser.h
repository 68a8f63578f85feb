#pragma once

// Splits the byte stream from the console into frames, whatever the chunking of the reads.
//
// Register frame: 0xFF, pair count n (0..24), n pairs of (address 0..41, value). Bytes are
// placed by position from the count, so 0xFF and 0x80 are ordinary values inside a frame.
// Download frame: a run of at least eight zero bytes, 0xFF, the big-endian length L + 1, the
// L bytes of the image, a zero byte and six more zero bytes.
//
// A frame is delivered only once it is complete; a frame whose bytes stall for longer than the
// gap timeout is dropped. After any fault the parser looks for the next 0xFF.

#include "sim/sim_time.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace relm::sim {

inline constexpr int kMaxPairs = 24;
inline constexpr int kHighestAddress = 41;
inline constexpr int kMinPreamble = 8;
inline constexpr int kDownloadTrailer = 7; // the zero counted in L + 1 and six more
inline constexpr std::size_t kMaxImageBytes = 19969;
inline constexpr Duration kDefaultGapTimeout{50'000};

struct RegisterPair
{
    std::uint8_t address;
    std::uint8_t value;
};

struct RegisterFrame
{
    std::vector<RegisterPair> pairs;
};

struct DownloadFrame
{
    std::vector<std::uint8_t> image;
};

enum class Fault {
    CountOverLimit,   // pair count above 24
    AddressOverLimit, // register address above 41
    Truncated,        // a frame stalled past the gap timeout
    StrayBytes,       // bytes outside any frame
    BadDownload,      // a download whose length or trailing zeros are wrong
};

struct MalformedInput
{
    Fault fault;
    std::size_t bytes; // how many bytes were thrown away
    std::string detail;
};

using ParserEvent = std::variant<RegisterFrame, DownloadFrame, MalformedInput>;

const char *faultName(Fault f);

// Byte-stream state machine for frames from the console.
class FrameParser
{
public:
    explicit FrameParser(Duration gapTimeout = kDefaultGapTimeout);

    // Takes bytes that arrived at `now` and appends what they complete to `out`.
    void feed(std::span<const std::uint8_t> bytes, Time now, std::vector<ParserEvent> &out);

    // Drops a frame that has stalled past the gap timeout by `now`.
    void expire(Time now, std::vector<ParserEvent> &out);

    // True while no frame is half received.
    bool idle() const { return m_state == State::Hunting && m_zeroRun == 0 && m_stray == 0; }

private:
    enum class State { Hunting, Count, Pairs, LengthHigh, LengthLow, Image, Trailer, Skip };

    void take(std::uint8_t b, std::vector<ParserEvent> &out);
    void hunt(std::uint8_t b, std::vector<ParserEvent> &out);
    void startRegisterFrame(std::vector<ParserEvent> &out);
    void flushStray(std::vector<ParserEvent> &out);
    void fail(Fault f, std::size_t bytes, std::string detail, std::vector<ParserEvent> &out);
    std::size_t partialBytes() const;

    Duration m_gapTimeout;
    Time m_lastByte{};
    State m_state = State::Hunting;
    std::size_t m_zeroRun = 0;  // zeros seen while hunting: a download preamble, or junk
    std::size_t m_stray = 0;    // junk bytes not yet reported
    std::size_t m_expected = 0; // pairs, image bytes or trailer bytes still to come
    std::size_t m_skip = 0;     // bytes of a refused download still to swallow
    std::size_t m_length = 0;   // image length L of a download
    std::uint8_t m_address = 0;
    bool m_haveAddress = false;
    RegisterFrame m_frame;
    std::vector<std::uint8_t> m_image;
};

} // namespace relm::sim
