#include "sim/seeded_random.h"

namespace relm::sim {

std::uint64_t SeededRandom::next()
{
    m_state += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = m_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t SeededRandom::below(std::uint64_t n)
{
    // Rejection keeps the draw uniform; the loop almost never repeats.
    const std::uint64_t limit = ~std::uint64_t{0} - (~std::uint64_t{0} % n);
    std::uint64_t v = next();
    while (v >= limit)
        v = next();
    return v % n;
}

int SeededRandom::between(int lo, int hi)
{
    return lo + static_cast<int>(below(static_cast<std::uint64_t>(hi - lo) + 1));
}

double SeededRandom::unit()
{
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

bool SeededRandom::chance(double p)
{
    return unit() < p;
}

} // namespace relm::sim
