#include "soak_trace.h"

#include <cstdio>

namespace relm {

void SoakTrace::add(sim::Time at, std::string line)
{
    if (m_capacity == 0)
        return;
    if (m_lines.size() == m_capacity)
        m_lines.pop_front();
    m_lines.push_back("[" + sim::formatTime(at) + "] " + line);
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", b);
        if (!text.empty())
            text.push_back(' ');
        text += digits;
    }
    return text;
}

} // namespace relm
