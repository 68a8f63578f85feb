#include "sim/sim_time.h"

#include <cstdio>

namespace relm::sim {

std::string formatTime(Time t)
{
    char text[32];
    const long long us = t.count();
    std::snprintf(text, sizeof text, "%lld.%03lld", us / 1'000'000, (us / 1000) % 1000);
    return text;
}

} // namespace relm::sim
