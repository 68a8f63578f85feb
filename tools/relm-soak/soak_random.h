#pragma once

// A small seeded generator whose sequence is the same on every platform and library, so a seed
// printed with a violation replays the same run anywhere.

#include <cstdint>

namespace relm {

// splitmix64: one 64-bit state, one multiply-xorshift output per draw.
class SoakRandom final
{
public:
    explicit SoakRandom(std::uint64_t seed)
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

} // namespace relm
