#include "console_port.h"

#include <utility>

namespace relm {

void ConsolePort::arrive(sim::Time now, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    m_waiting.insert(m_waiting.end(), bytes.begin(), bytes.end());
    switch (receiveWait(m_waiting.size())) {
    case ReceiveWait::Now:
        m_readAt = now;
        break;
    case ReceiveWait::WholeFrame:
        m_readAt = now + m_timing.wholeFrameQuiet;
        break;
    case ReceiveWait::Frame:
        m_readAt = now + m_timing.frameQuiet;
        break;
    case ReceiveWait::Fragment:
        m_readAt = now + m_timing.fragmentQuiet;
        break;
    }
}

std::vector<std::uint8_t> ConsolePort::readAll()
{
    m_readAt.reset();
    return std::exchange(m_waiting, {});
}

} // namespace relm
