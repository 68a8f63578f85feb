#include "console_port.h"

#include <utility>

namespace relm {

void ConsolePort::arrive(sim::Time now, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    m_waiting.insert(m_waiting.end(), bytes.begin(), bytes.end());
    if (m_waiting.size() >= kTwoFrames)
        m_readAt = now;
    else
        m_readAt = now + (m_waiting.size() >= kThreshold ? m_timing.frameQuiet
                                                         : m_timing.fragmentQuiet);
}

std::vector<std::uint8_t> ConsolePort::readAll()
{
    m_readAt.reset();
    return std::exchange(m_waiting, {});
}

} // namespace relm
