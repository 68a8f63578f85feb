#pragma once

// The console's side of the line as the controller sees it: the byte stream, read in chunks
// with the time each chunk arrived, cut back into the frames the console sent. A download frame
// starts with zero bytes, a register frame with 0xFF; both are placed by position from their
// length fields, so a 0xFF value inside a frame never starts a new one.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace relm {

using LineClock = std::chrono::steady_clock;
using LineTime = LineClock::time_point;

enum class SentKind {
    Download,       // 21 zero bytes, 0xFF, length L + 1, the image, 7 zero bytes
    Initialisation, // register frame of 12 pairs whose first address is 0
    Command,        // register frame whose first address is 3 (the base pairs come first)
    OtherRegister,  // any other register frame
};

// One frame the console sent, with the arrival times of its first and last byte.
struct SentFrame
{
    SentKind kind = SentKind::Command;
    LineTime first{};
    LineTime last{};
    std::size_t bytes = 0;
    int pairs = 0;          // register frames: the pair count
    bool wellFormed = true; // download: exactly 21 leading zeros
};

// Cuts a byte stream into frames. Bytes that start neither kind of frame are counted as stray.
class FrameTimeline final
{
public:
    // Bytes that arrived together at `at`, in line order.
    void feed(std::span<const std::uint8_t> chunk, LineTime at);

    // Frames completed since the last call, in order.
    std::vector<SentFrame> take();

    std::size_t strayBytes() const { return m_stray; }
    // A frame has started and not yet ended.
    bool inFrame() const { return m_state != State::Idle; }

private:
    enum class State {
        Idle,
        DownloadLead,
        LengthHigh,
        LengthLow,
        DownloadBody,
        PairCount,
        RegisterBody
    };

    void begin(SentKind kind, LineTime at);
    void finish(LineTime at);
    void takeByte(std::uint8_t byte, LineTime at);

    State m_state = State::Idle;
    SentFrame m_current;
    std::size_t m_remaining = 0; // bytes still to come in the current frame's body
    std::size_t m_lead = 0;      // zero bytes before a download's 0xFF
    int m_length = 0;            // download length field
    std::size_t m_stray = 0;
    std::vector<SentFrame> m_done;
};

} // namespace relm
