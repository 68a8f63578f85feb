#pragma once

// The receive side of the console's serial port, as its wrapper hands blocks to the status
// handler: a status frame has no start marker, so a block is handed over only once the line has
// fallen quiet (a few byte times with a whole frame waiting, half a status period with less), or
// at once when two whole frames wait.

#include "sim/sim_time.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace relm {

struct ReceiveTiming
{
    sim::Duration frameQuiet{5000};     // quiet time once a whole frame (23 bytes) waits
    sim::Duration fragmentQuiet{50000}; // quiet time with less waiting
};

class ConsolePort final
{
public:
    static constexpr std::size_t kThreshold = 23;            // bytes of a frame the console reads
    static constexpr std::size_t kTwoFrames = 2 * (kThreshold + 1);

    explicit ConsolePort(ReceiveTiming timing = {})
        : m_timing(timing)
    {}

    // Bytes that reached the port at `now`.
    void arrive(sim::Time now, std::span<const std::uint8_t> bytes);

    // When the status handler runs next, if bytes wait.
    std::optional<sim::Time> readAt() const { return m_readAt; }

    // Everything waiting, as the handler's read-all takes it.
    std::vector<std::uint8_t> readAll();

private:
    ReceiveTiming m_timing;
    std::vector<std::uint8_t> m_waiting;
    std::optional<sim::Time> m_readAt;
};

} // namespace relm
