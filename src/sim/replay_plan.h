#pragma once

// What a traffic log asks of a controller that plays it back. Data flow:
//   log lines -> loadReplay -> ReplayPlan (blocks to send, frames to expect)
//   ReplayPlayer (replay_player.h) -> sent frames -> compareTraffic -> reportLines, exit status
//
// Times in the plan count from the console's first frame (normally the download): that frame's
// arrival is time zero of a replay, and the controller's blocks follow at their logged distance
// from it.

#include "sim/sim_time.h"
#include "traffic/replay.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace relm::sim {

// The recording is over this long after its last frame, so the console's answer to the last
// block still arrives.
inline constexpr Duration kReplayRunOut{1'000'000};

// Exit statuses of a replay.
inline constexpr int kReplayIdentical = 0;
inline constexpr int kReplayDiffers = 1;
inline constexpr int kReplayUnreadable = 2;

// A block the controller sent in the recording, and how long after the console's first frame.
struct PlannedBlock
{
    Duration at{};
    std::vector<std::uint8_t> bytes;
};

struct ReplayPlan
{
    std::vector<PlannedBlock> blocks;  // in log order, never earlier than time zero
    std::vector<TimedFrame> expected;  // the console's frames, in log time (ms)
    std::int64_t startMs = 0;          // log time of the console's first frame
    Duration length{};                 // from time zero to the last logged frame, plus run-out
    std::size_t blocksBeforeStart = 0; // logged before the console's first frame: not played
    std::size_t emptyBlocks = 0;       // reads that returned nothing: nothing to play
};

// The plan, or every reason the log cannot be played ("line 7: ..."); the plan is only
// meaningful when errors is empty.
struct ReplayLoad
{
    ReplayPlan plan;
    std::vector<std::string> errors;

    bool ok() const { return errors.empty(); }
};

// Reads a whole traffic log. Refused: lines that do not read back, times that go back (a log
// appended to by a second run of the console), and a log without a frame from the console.
ReplayLoad loadReplay(std::istream &log);

// One line per difference, then the summary ("replay: 57 frames matched, 0 differences").
std::vector<std::string> reportLines(const ReplayReport &report);

int replayExitStatus(const ReplayReport &report);

} // namespace relm::sim
