#pragma once

// How a simulated train moves. Speeds are in the register scale 0..128; a train follows its
// speed register with inertia: it speeds up at `accelerationPerS` and slows down at
// `brakingPerS` speed units per second. Distances are in millimetres along the track.

#include "sim/sim_time.h"

namespace relm::sim {

inline constexpr int kFullSpeed = 128;

struct Physics
{
    double sectionLengthMm = 1000.0; // every section of every route
    double topSpeedMmPerS = 250.0;   // at speed 128
    double accelerationPerS = 40.0;  // speed units per second while speeding up
    double brakingPerS = 128.0;      // speed units per second while slowing down
};

// What the console takes at worst to start braking a train once the controller reports the
// section ahead taken: one status interval, a 200 ms command tick, and both frames on the line.
Duration worstReaction(Duration statusInterval);

// Moves `speed` towards `target` for `seconds` with the train's inertia and returns the
// distance run in mm. Exact for the piecewise-linear speed, so the step size does not matter.
double runFor(double &speed, double target, const Physics &p, double seconds);

// Distance from the moment the console decides to stop a train running steadily at `fromSpeed`
// until it stands: `reaction` at full speed, then the console's ramp of 20 per 200 ms down to 0.
double stoppingDistanceMm(const Physics &p, int fromSpeed, Duration reaction);

// Whether a train at any speed stands within one section after the console's stop ramp.
bool stopsWithinOneSection(const Physics &p, Duration reaction);

} // namespace relm::sim
