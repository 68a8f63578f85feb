#include "sim/physics.h"

#include <algorithm>

namespace relm::sim {

namespace {

// The console's stop ramp: 20 speed units every 200 ms command tick.
constexpr int kRampStep = 20;
constexpr double kTickSeconds = 0.2;

// Command tick, the largest command frame (50 bytes) and a status frame (24 bytes) at 960 B/s.
constexpr Duration kConsoleTick{200'000};
constexpr Duration kFramesOnLine{78'000};

double seconds(Duration d)
{
    return static_cast<double>(d.count()) / 1e6;
}

} // namespace

Duration worstReaction(Duration statusInterval)
{
    return statusInterval + kConsoleTick + kFramesOnLine;
}

double runFor(double &speed, double target, const Physics &p, double secs)
{
    const double mmPerUnit = p.topSpeedMmPerS / kFullSpeed;
    double distance = 0.0;
    if (speed != target) {
        const double rate = speed < target ? p.accelerationPerS : -p.brakingPerS;
        const double tReach = std::min(secs, (target - speed) / rate);
        const double end = speed + rate * tReach;
        distance += (speed + end) / 2.0 * tReach * mmPerUnit;
        speed = tReach < secs ? target : end;
        secs -= tReach;
    }
    if (secs > 0.0)
        distance += speed * secs * mmPerUnit;
    return distance;
}

double stoppingDistanceMm(const Physics &p, int fromSpeed, Duration reaction)
{
    double speed = fromSpeed;
    double distance = runFor(speed, fromSpeed, p, seconds(reaction));
    int reg = fromSpeed;
    while (reg > 0) {
        reg = std::max(0, reg - kRampStep);
        distance += runFor(speed, reg, p, kTickSeconds);
    }
    // After the last step the register is 0: run out the remaining inertia.
    distance += runFor(speed, 0.0, p, speed / p.brakingPerS + 1.0);
    return distance;
}

bool stopsWithinOneSection(const Physics &p, Duration reaction)
{
    if (p.sectionLengthMm <= 0.0 || p.topSpeedMmPerS <= 0.0 || p.accelerationPerS <= 0.0 ||
        p.brakingPerS <= 0.0)
        return false;
    for (int v = 0; v <= kFullSpeed; ++v) {
        if (stoppingDistanceMm(p, v, reaction) > p.sectionLengthMm)
            return false;
    }
    return true;
}

} // namespace relm::sim
