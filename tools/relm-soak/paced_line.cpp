#include "paced_line.h"

#include <algorithm>

namespace relm {

void PacedLine::write(sim::Time now, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    m_queue.insert(m_queue.end(), bytes.begin(), bytes.end());
    m_pacer.enqueue(now, bytes.size());
}

std::vector<std::uint8_t> PacedLine::arrived(sim::Time now)
{
    const std::size_t n = std::min(m_pacer.departed(now), m_queue.size());
    std::vector<std::uint8_t> bytes(m_queue.begin(), m_queue.begin() + static_cast<long>(n));
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<long>(n));
    return bytes;
}

} // namespace relm
