#pragma once

// The last lines of what happened on the line and at the console, kept so that a violation can
// be shown with the frames that led to it.

#include "sim/sim_time.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

namespace relm {

class SoakTrace final
{
public:
    explicit SoakTrace(std::size_t capacity)
        : m_capacity(capacity)
    {}

    void add(sim::Time at, std::string line);
    std::vector<std::string> lines() const { return {m_lines.begin(), m_lines.end()}; }

private:
    std::size_t m_capacity;
    std::deque<std::string> m_lines;
};

// Bytes as two-digit upper-case hex separated by spaces.
std::string hexBytes(std::span<const std::uint8_t> bytes);

} // namespace relm
