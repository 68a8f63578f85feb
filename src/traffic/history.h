#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace relm {

inline constexpr std::size_t kHistoryLines = 5000;

// The newest lines of the traffic monitor: a ring that drops the oldest line when full.
class TrafficHistory final
{
public:
    // A capacity below 1 is taken as 1.
    explicit TrafficHistory(std::size_t capacity = kHistoryLines);

    void append(std::string line);
    void clear();

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_ring.size(); }

    // Lines ever appended since construction or clear(); the oldest kept line is number
    // appended() - size() (from 0), so a view can tell how many lines fell off the front.
    std::uint64_t appended() const { return m_appended; }

    // Line i, oldest first (0 <= i < size()); throws std::out_of_range otherwise.
    const std::string &at(std::size_t i) const;

    // Every kept line, oldest first.
    std::vector<std::string> lines() const;

private:
    std::vector<std::string> m_ring;
    std::size_t m_first = 0; // index in m_ring of the oldest line
    std::size_t m_size = 0;
    std::uint64_t m_appended = 0;
};

} // namespace relm
