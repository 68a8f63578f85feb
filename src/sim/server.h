#pragma once

// The poll loop of relm-sim: moves bytes between the line and what answers the console there
// (the simulated controller, or a recording played back), driven by the monotonic clock and
// paced like a 9600 baud line unless pacing is off.

#include "sim/options.h"
#include "sim/replay_plan.h"

namespace relm::sim {

class Endpoint;

// Serves the simulated controller until SIGINT, SIGTERM or SIGHUP; prints the summary on
// stderr. Returns the exit status.
int serve(const Endpoint &line, const Options &options);

// Plays the plan back until the recording is over, the console closes the line after its first
// frame, or a signal; prints the report on stdout. Returns kReplayIdentical or kReplayDiffers.
int serveReplay(const Endpoint &line, const Options &options, ReplayPlan plan);

} // namespace relm::sim
