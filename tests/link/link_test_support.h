#pragma once

// Status frames and train placements for the link tests.

#include "model/module1.h"

#include <array>
#include <cstdint>
#include <vector>

namespace relm::test {

using Bytes = std::vector<std::uint8_t>;

// One train's status record as the controller sends it.
struct Record
{
    int pos0 = 128;
    int pos1 = 128;
    int pos2 = 128;
    int speed = 0;
    int aux = 0;
};

inline constexpr Record kAbsent{};

// A whole 24-byte status frame; offsets 3, 4 and 7 of each record carry filler the console
// must ignore.
inline Bytes statusFrame(const Record &x, const Record &y = kAbsent, const Record &z = kAbsent)
{
    Bytes b;
    for (const Record &r : {x, y, z}) {
        for (const int v : {r.pos0, r.pos1, r.pos2, 0xEE, 0xEE, r.speed, r.aux, 0xEE})
            b.push_back(static_cast<std::uint8_t>(v));
    }
    return b;
}

// Puts train t's four position codes in place.
inline void place(Module1 &m, int t, std::array<int, 4> c)
{
    m.PosCode0[t] = static_cast<std::int16_t>(c[0]);
    m.PosCode1[t] = static_cast<std::int16_t>(c[1]);
    m.PosCode2[t] = static_cast<std::int16_t>(c[2]);
    m.PosCode3[t] = static_cast<std::int16_t>(c[3]);
}

} // namespace relm::test
