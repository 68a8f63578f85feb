#pragma once

// The poll loop of relm-sim: drives the controller from the monotonic clock and moves bytes
// between it and the line, paced like a 9600 baud line unless pacing is off.

#include "sim/options.h"

namespace relm::sim {

class Endpoint;

// Serves until SIGINT, SIGTERM or SIGHUP; prints the summary on stderr. Returns the exit status.
int serve(const Endpoint &line, const Options &options);

} // namespace relm::sim
