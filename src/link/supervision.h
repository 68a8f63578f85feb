#pragma once

// The point and reversal passes run by the status event on every complete status frame.
// They work on the shared tables and report which operator buttons get their face colour back.

#include "model/module1.h"

#include <array>
#include <cstdint>

namespace relm {

// Reported speed below which a train counts as standing for a reversal.
inline constexpr int kStandstillSpeed = 2;

// What the decode pass learnt from one status frame; lives for that event only.
struct FrameReading
{
    std::array<bool, kTrainCount> posChanged{};          // byte 0 differed from PosCode0
    std::array<std::int16_t, kTrainCount> actualSpeed{}; // speed the controller reports
    std::array<bool, kTrainCount> unreported{}; // record not believed: nothing of it was taken
    // Held on doubtful reports: its reported standstill waits until reports are plausible again
    // (a frame that stopped it may have been lost with them).
    std::array<bool, kTrainCount> doubted{};
    // Reported below the standstill speed but above 0, and no slower than in the last believed
    // report: the controller holds a speed register above 0 (set by the report watch).
    std::array<bool, kTrainCount> creeping{};
    // Sections a doubted report puts a train in (section numbers 0..31): it may really be
    // there, so no point route is set into one.
    std::array<bool, 32> doubtfulSections{};
};

using TrainFlags = std::array<bool, kTrainCount>;

// Whether train t stands: the console sends it speed 0 and the controller, in a report that was
// believed, says it runs below kStandstillSpeed and is not creeping. Only a standing train is
// reversed.
bool standsStill(const Module1 &m, int t, const FrameReading &reading);

// Arms a requested point route once the train stands in a FromCode section and the new next
// section is free (and named by no doubted report), unless the train is being turned round, and
// finishes it when the train reaches AfterCode. Returns, per train,
// whether the request finished (the Point button goes back to its face colour).
TrainFlags pointPass(Module1 &m, const FrameReading &reading);

struct ReversalOutcome
{
    TrainFlags ready{};        // the reversal became ready (the Reverse button goes back)
    TrainFlags passageEnded{}; // an armed point route ended with it (the Point button goes back)
};

// Holds stopping trains at target 0 and computes the reversed registers once the train stands
// and the section it will have next in the new direction is free of the other trains' codes;
// an unreported or doubted train is not known to stand. A point route armed for the train ends
// with its reversal: the point command 0x20 goes out with the reversed registers.
ReversalOutcome reversalPass(Module1 &m, const FrameReading &reading);

} // namespace relm
