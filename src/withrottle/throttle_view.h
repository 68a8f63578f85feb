#pragma once

// What every throttle is shown of the console: per train the requested speed, the direction and
// the point ahead, and whether the command cycle runs. Worked out once per change of the
// console for all throttles; each session tells its throttle what differs from what it told.

#include "console/console.h"
#include "withrottle/throttle_protocol.h"

#include <array>
#include <optional>

namespace relm {

struct ThrottleView
{
    std::array<int, kTrainCount> speed{};                   // requested, throttle scale 0..126
    std::array<std::optional<bool>, kTrainCount> forward{}; // none while it may be changing
    std::array<bool, kTrainCount> pointThrown{};            // the point ahead is requested
    char power = '0'; // '1' the command cycle runs, '0' it does not, '2' the line is lost
};

// A train's requested speed on a throttle's scale.
int throttleSpeedOfTrain(const Console &console, int t);
char throttlePower(const Console &console);

// Directions are shown as reported, once they have settled: not while a reversal is asked for
// or under way, and not until two status frames in a row agree (the first report after a
// reversal went out may still have been sent before the controller took it).
class ThrottleDirections final
{
public:
    explicit ThrottleDirections(const Console &console);

    // After every decoded status frame.
    void statusFrame();
    ThrottleView view() const;

private:
    const Console &m_console;
    std::array<bool, kTrainCount> m_lastReported{}; // reverse flag in the last frame
    std::array<bool, kTrainCount> m_settled{};
};

} // namespace relm
