#include "traffic/history.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace relm {

TrafficHistory::TrafficHistory(std::size_t capacity)
    : m_ring(std::max<std::size_t>(capacity, 1))
{}

void TrafficHistory::append(std::string line)
{
    const std::size_t slot = (m_first + m_size) % m_ring.size();
    m_ring[slot] = std::move(line);
    if (m_size < m_ring.size())
        ++m_size;
    else
        m_first = (m_first + 1) % m_ring.size(); // the oldest line was overwritten
    ++m_appended;
}

void TrafficHistory::clear()
{
    for (std::string &line : m_ring)
        line.clear();
    m_first = 0;
    m_size = 0;
    m_appended = 0;
}

const std::string &TrafficHistory::at(std::size_t i) const
{
    if (i >= m_size)
        throw std::out_of_range("traffic history line out of range");
    return m_ring[(m_first + i) % m_ring.size()];
}

std::vector<std::string> TrafficHistory::lines() const
{
    std::vector<std::string> out;
    out.reserve(m_size);
    for (std::size_t i = 0; i < m_size; ++i)
        out.push_back(at(i));
    return out;
}

} // namespace relm
