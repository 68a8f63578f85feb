#pragma once

// Replay check: compares the frames the console sends now with the frames it sent when the traffic
// log was recorded, allowing the timing to drift by one command tick.
//
// Frames are aligned in order. A sent frame matches a recorded one when the bytes are equal and
// its time is within the tolerance of the recorded time; times count from each list's first frame,
// so a run started later compares equal. Where the lists part, they are joined again at the point
// within a few frames that leaves the fewest differences: frames paired up on the way are reported
// as changed (or, with equal bytes, as sent too early or late, after which times count from that
// frame), the rest as missing or extra.
//
// A status frame that arrives just before instead of just after a tick moves a change by one tick,
// which shows as one common command frame (no command, no reversal) repeated once more or once
// less than recorded. Such a repeat is absorbed, as long as the sent list never runs more than one
// frame ahead of or behind the recording. Sent frames after the end of the recording (plus the
// tolerance) are not compared.

#include "traffic/traffic_log.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace relm {

inline constexpr std::int64_t kReplayToleranceMs = 200; // one command tick
inline constexpr std::size_t kNoFrame = static_cast<std::size_t>(-1);

// A frame and when it went out, in ms.
struct TimedFrame
{
    std::int64_t ms = 0;
    std::vector<std::uint8_t> bytes;
};

// The frames of one direction of a log, in log order.
std::vector<TimedFrame> framesInDirection(std::span<const TrafficRecord> records,
                                          Direction direction);

enum class DifferenceKind {
    Changed, // a frame was sent in place of the recorded one, with other bytes
    Timing,  // the recorded bytes were sent, but more than the tolerance early or late
    Missing, // a recorded frame was not sent
    Extra,   // a frame was sent that the recording does not have
};

// One difference, with a line for the operator, e.g.
//   "frame #12 at 3400 ms: expected FF 06 ..., got FF 06 ... (first difference at byte 5)"
struct ReplayDifference
{
    DifferenceKind kind = DifferenceKind::Changed;
    std::size_t recordedIndex = kNoFrame; // into the recorded frames; kNoFrame for Extra
    std::size_t sentIndex = kNoFrame;     // into the sent frames; kNoFrame for Missing
    std::string text;
};

struct ReplayOptions
{
    std::int64_t toleranceMs = kReplayToleranceMs;
    bool alignFirstFrames = true; // count times from each list's first frame, not from 0
};

struct ReplayReport
{
    std::vector<ReplayDifference> differences; // in the order of the frames
    std::size_t matched = 0;                   // frame pairs that agree
    std::size_t driftAbsorbed = 0;             // repeats one tick early or late, not reported
    std::size_t notCompared = 0;               // sent frames after the end of the recording

    bool identical() const { return differences.empty(); }
};

// Frame numbers in the texts ("frame #k") count the recorded frames from 1; times are as given,
// and are taken as 0..kMaxLogMs (the range of the log) when compared.
ReplayReport compareTraffic(std::span<const TimedFrame> recorded, std::span<const TimedFrame> sent,
                            const ReplayOptions &options = {});

} // namespace relm
