#pragma once

// Watches the simulated trains for what the console's block safety should never allow.
//
// A present train covers two sections: the one its head is in (register 0) and the one behind
// it (register 1), where its tail is. Sections are compared by number; direction never matters.
//   EnteredOccupied: a train's head entered a section another train covers.
//   SharedSection:   two trains came to cover the same section without a move, e.g. because
//                    the console placed them there.
//   RouteFault:      a train reached the end of its section and its next section (register 2)
//                    is not where the track leads; the controller holds it there.

#include "sim/sim_time.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace relm::sim {

inline constexpr int kTrains = 3;

enum class SafetyKind { SharedSection, EnteredOccupied, RouteFault };

struct SafetyEvent
{
    Time at{};
    SafetyKind kind = SafetyKind::SharedSection;
    int section = 0; // section number 0..31 (route and index)
    int train = 0;   // the train that moved, or the lower-numbered one
    int other = -1;  // the other train, -1 for a route fault
    int wanted = -1; // route fault: the code register 2 asked for
};

std::string describe(const SafetyEvent &e);

// Everything the watch has seen since the controller was switched on.
class SafetyLog
{
public:
    void record(const SafetyEvent &e) { m_events.push_back(e); }
    const std::vector<SafetyEvent> &events() const { return m_events; }
    std::size_t count(SafetyKind kind) const;

private:
    std::vector<SafetyEvent> m_events;
};

// The sections one train covers, for the watch: number of head and tail, or absent.
struct Cover
{
    bool present = false;
    int head = 0;  // section number of register 0
    int tail = -1; // section number of register 1, -1 when it names no section
};

// Tracks which pairs of trains overlap and reports each new overlap once.
class SafetyWatch
{
public:
    // Compares the trains after a change; `mover` is the train whose head just entered a new
    // section, or -1 when the change came from register writes. Returns the new events.
    std::vector<SafetyEvent> update(const std::array<Cover, kTrains> &trains, int mover, Time now);

    // Whether train t overlaps another train at the moment (auxiliary status bit).
    bool sharing(int t) const;

    void reset() { m_overlap.fill(false); }

private:
    std::array<bool, 3> m_overlap{}; // pairs (0,1), (0,2), (1,2)
};

} // namespace relm::sim
