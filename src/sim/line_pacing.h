#pragma once

// Serial line timing. At 9600 baud with one start bit, eight data bits and one stop bit a byte
// takes ten bit times, so 960 bytes leave the line per second. Departure times are computed
// from the start of each busy run, so they do not drift however long the line stays busy.

#include "sim/sim_time.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace relm::sim {

inline constexpr int kBaud = 9600;
inline constexpr int kBitsPerByte = 10; // 8N1

// Time for `bytes` bytes on the line, rounded up to the microsecond.
Duration lineTime(std::size_t bytes, int baud = kBaud, int bitsPerByte = kBitsPerByte);

// A line that sends queued bytes one after another at the line rate.
class LinePacer
{
public:
    explicit LinePacer(int baud = kBaud, int bitsPerByte = kBitsPerByte);

    // Queues `count` bytes handed over at `now`; returns when the last of them has left.
    Time enqueue(Time now, std::size_t count);

    // How many queued bytes have left the line by `now` since the previous call.
    std::size_t departed(Time now);

    // When the next queued byte leaves, if any is waiting.
    std::optional<Time> nextDeparture() const;

    std::size_t waiting() const { return m_carry + (m_queued - m_released); }

private:
    Time departureOf(std::uint64_t k) const;

    int m_baud;
    int m_bitsPerByte;
    Time m_runStart{};
    std::uint64_t m_queued = 0;   // bytes queued in the current busy run
    std::uint64_t m_released = 0; // of which departed() has reported
    std::size_t m_carry = 0;      // departed bytes of a finished run not yet reported
};

} // namespace relm::sim
