#pragma once

// A small seeded generator whose sequence is the same on every platform and library, so a seed
// printed with a soak's violation, or given to the line's fault injection, replays the same run
// anywhere.

#include <cstdint>

namespace relm::sim {

// splitmix64: one 64-bit state, one multiply-xorshift output per draw.
class SeededRandom final
{
public:
    explicit SeededRandom(std::uint64_t seed)
        : m_state(seed)
    {}

    std::uint64_t next();
    // Uniform in 0..n-1; n must be positive.
    std::uint64_t below(std::uint64_t n);
    // Uniform in lo..hi, both included.
    int between(int lo, int hi);
    // True with probability p.
    bool chance(double p);
    // Uniform in [0, 1).
    double unit();

private:
    std::uint64_t m_state;
};

} // namespace relm::sim
