#pragma once

// The receive side of the console's serial port, as its wrapper hands blocks to the status
// handler (link/receive_timing.h): a status frame has no start marker, so a block is handed
// over only once the line has fallen quiet (two byte times with whole frames waiting, five with
// a cut frame, half a status period with a fragment), or at once when two whole frames wait.

#include "link/receive_timing.h"
#include "sim/sim_time.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace relm {

struct ReceiveTiming
{
    // Quiet time with whole 24-byte frames waiting, with 23 bytes or more that are not, and
    // with less.
    sim::Duration wholeFrameQuiet = std::chrono::milliseconds(kWholeFrameQuietMs);
    sim::Duration frameQuiet = std::chrono::milliseconds(kFrameQuietMs);
    sim::Duration fragmentQuiet = std::chrono::milliseconds(kFragmentQuietMs);
};

class ConsolePort final
{
public:
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
