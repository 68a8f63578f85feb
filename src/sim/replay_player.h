#pragma once

// A recorded controller: instead of running trains it answers the console with the blocks of a
// traffic log, timed so that the console reads them when the log says it did, and keeps what the
// console sends for comparison.
// Data flow:
//   bytes from the console -> receive() -> FrameParser -> frames stamped by their first byte
//   takeDue(now)           -> the logged blocks whose time has come
//   finish()               -> compareTraffic(logged frames, frames sent now)
//
// Time zero is the arrival of the first byte of the console's first frame; nothing is played
// before it. Like the controller, the player has no clock: its driver passes the time in.

#include "link/receive_timing.h"
#include "sim/frame_parser.h"
#include "sim/replay_plan.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace relm::sim {

// A log holds the time the console read each block, not when the block arrived. The console reads
// once the line has been quiet after a block: briefly after a whole status frame (its 23 decoded
// bytes or more), and only after half a status period after a shorter fragment, so that the
// fragment cannot prefix the next frame. A replayed block arrives that much before its logged
// time; were a fragment played at its logged time, the next frame would run into it.
inline constexpr std::size_t kConsoleFrameBytes = relm::kReceiveThreshold;
inline constexpr Duration kConsoleFrameQuiet = std::chrono::milliseconds(relm::kFrameQuietMs);
inline constexpr Duration kConsoleFragmentQuiet = std::chrono::milliseconds(relm::kFragmentQuietMs);

// Plays one plan back and collects the console's frames.
class ReplayPlayer final
{
public:
    // A block is handed over so that the console reads it at its logged time: the console's
    // quiet time early, and on a paced line its line time earlier still.
    ReplayPlayer(ReplayPlan plan, bool pacedLine);

    // One decoded line per frame in each direction.
    void setTrace(LogSink sink) { m_trace = std::move(sink); }

    // Bytes from the console that arrived at `now`.
    void receive(std::span<const std::uint8_t> bytes, Time now);

    // The logged blocks due by `now`, in log order, as one run of bytes.
    std::vector<std::uint8_t> takeDue(Time now);

    // When the next block or the end of the recording is due; none before the first frame.
    std::optional<Time> nextDue() const;

    // True once the console's first frame has arrived.
    bool started() const { return m_zero.has_value(); }

    // True once the recording has run out.
    bool over(Time now) const;

    // Ends the replay: a frame still half received is dropped, and the frames the console sent
    // are compared with the logged ones.
    ReplayReport finish(Time now);

    // The console's frames so far, in log time.
    const std::vector<TimedFrame> &sent() const { return m_sent; }

    // Bytes that were no frame (junk, frames cut short).
    std::size_t malformedBytes() const { return m_malformedBytes; }
    std::size_t blocksPlayed() const { return m_next; }

private:
    struct Arrival
    {
        std::uint8_t byte;
        Time at;
    };

    void take(const ParserEvent &event);
    void frameEnds(std::size_t frameBytes, bool download);
    Time handOver(std::size_t block) const;
    std::int64_t logMs(Time t) const;

    ReplayPlan m_plan;
    bool m_paced;
    FrameParser m_parser;
    std::deque<Arrival> m_pending; // bytes since the parser was last between frames
    std::optional<Time> m_zero;
    std::size_t m_next = 0; // the next block to play
    std::vector<TimedFrame> m_sent;
    std::size_t m_malformedBytes = 0;
    LogSink m_trace;
};

} // namespace relm::sim
