#include "sim/line_pacing.h"

namespace relm::sim {

namespace {

std::int64_t ceilDiv(std::int64_t a, std::int64_t b)
{
    return (a + b - 1) / b;
}

} // namespace

Duration lineTime(std::size_t bytes, int baud, int bitsPerByte)
{
    return Duration{ceilDiv(static_cast<std::int64_t>(bytes) * bitsPerByte * 1'000'000, baud)};
}

LinePacer::LinePacer(int baud, int bitsPerByte)
    : m_baud(baud)
    , m_bitsPerByte(bitsPerByte)
{}

Time LinePacer::departureOf(std::uint64_t k) const
{
    return m_runStart + lineTime(static_cast<std::size_t>(k + 1), m_baud, m_bitsPerByte);
}

Time LinePacer::enqueue(Time now, std::size_t count)
{
    const bool idle = m_queued == 0 || departureOf(m_queued - 1) <= now;
    if (idle) {
        // The line fell quiet: a new busy run starts now.
        m_carry += static_cast<std::size_t>(m_queued - m_released);
        m_runStart = now;
        m_queued = 0;
        m_released = 0;
    }
    m_queued += count;
    return m_queued == 0 ? now : departureOf(m_queued - 1);
}

std::size_t LinePacer::departed(Time now)
{
    std::size_t n = m_carry;
    m_carry = 0;
    while (m_released < m_queued && departureOf(m_released) <= now) {
        ++m_released;
        ++n;
    }
    return n;
}

std::optional<Time> LinePacer::nextDeparture() const
{
    if (m_carry > 0)
        return m_runStart; // already gone
    if (m_released < m_queued)
        return departureOf(m_released);
    return std::nullopt;
}

} // namespace relm::sim
