#pragma once

// The simulated track: four loop routes of eight sections each, and two crossovers between
// routes 0 and 1. Crossover A joins the far end of route 1 section 0 to route 0 section 0;
// crossover B joins the far end of route 0 section 0 to route 1 section 1. Each crossover can be
// taken in both running directions, so the layout has four facing exits with a point.

#include <array>
#include <cstdint>

namespace relm::sim {

inline constexpr int kRoutes = 4;
inline constexpr int kSectionsPerRoute = 8;
inline constexpr int kLayoutPoints = 2;

enum class PointState { Normal, Diverging };

// A facing exit with a point: a train running in `from` goes on to `diverging` when the point
// is thrown, and to the plain next section of its loop otherwise.
struct PointConnection
{
    int from;      // section code with its direction (bits 0..5)
    int diverging; // section code the thrown point leads to
    int point;     // the physical point: 0 is crossover A, 1 is crossover B
};

inline constexpr std::array<PointConnection, 4> kPointConnections{{
    {0x08, 0x00, 0}, // route 1 section 0 forward -> route 0 section 0
    {0x00, 0x09, 1}, // route 0 section 0 forward -> route 1 section 1
    {0x29, 0x20, 1}, // route 1 section 1 reverse -> route 0 section 0
    {0x20, 0x28, 0}, // route 0 section 0 reverse -> route 1 section 0
}};

// Direction, route and index of a code: what decides where a train runs. The unused bit 6 and
// the absent flag are dropped.
constexpr int travelCode(int code)
{
    return code & 0x3F;
}

// The next section on the same loop in the code's own direction.
int plainStepAhead(int code);

// The connection at the exit of `from` (direction included), or nullptr when the exit has none.
const PointConnection *connectionAt(int from);

// The point positions of the layout and where the track leads with them.
class Layout
{
public:
    PointState point(int p) const { return m_points.at(static_cast<std::size_t>(p)); }
    void setPoint(int p, PointState state);
    void resetPoints();

    // The section a train leaving `code` enters, with the points as they lie now.
    int trackAhead(int code) const;

private:
    std::array<PointState, kLayoutPoints> m_points{PointState::Normal, PointState::Normal};
};

} // namespace relm::sim
