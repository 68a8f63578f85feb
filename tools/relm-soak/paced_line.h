#pragma once

// One direction of the serial line between the console and the controller, in virtual time:
// bytes handed over are queued and leave one after another at 960 bytes per second.

#include "sim/line_pacing.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace relm {

class PacedLine final
{
public:
    // Queues bytes written at `now` behind everything written before.
    void write(sim::Time now, std::span<const std::uint8_t> bytes);

    // The bytes that have left the line by `now`, oldest first.
    std::vector<std::uint8_t> arrived(sim::Time now);

    // When the next byte leaves, if any waits.
    std::optional<sim::Time> nextArrival() const { return m_pacer.nextDeparture(); }

    // Bytes written that have not yet left.
    std::size_t waiting() const { return m_queue.size(); }

private:
    sim::LinePacer m_pacer;
    std::deque<std::uint8_t> m_queue;
};

} // namespace relm
