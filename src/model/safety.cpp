#include "model/safety.h"

#include "model/section_code.h"

namespace relm {

Ahead CheckAhead(const Module1 &m, int t)
{
    bool nextOccupied = false;
    bool afterOccupied = false;
    for (const int j : otherTrains(t)) {
        // Another train's PosCode3 does not count: it only reaches it after its own next section.
        for (const int d : {m.PosCode0[j], m.PosCode1[j], m.PosCode2[j]}) {
            if (occupies(d, m.PosCode2[t]))
                nextOccupied = true;
        }
        for (const int d : {m.PosCode0[j], m.PosCode1[j], m.PosCode2[j]}) {
            if (occupies(d, m.PosCode3[t]))
                afterOccupied = true;
        }
    }
    if (nextOccupied)
        return Ahead::Stop;
    return afterOccupied ? Ahead::Caution : Ahead::Clear;
}

bool RouteClear(const Module1 &m, std::int16_t c, int t)
{
    bool occupied = false;
    for (const int j : otherTrains(t)) {
        for (const int d : {m.PosCode0[j], m.PosCode1[j], m.PosCode2[j], m.PosCode3[j]}) {
            if (occupies(d, c))
                occupied = true;
        }
    }
    return !occupied;
}

void MakeReverse(Module1 &m, int t)
{
    // Behind becomes own and own becomes behind; the XOR flips only the direction bit.
    m.RevCode0[t] = static_cast<std::int16_t>(m.PosCode1[t] ^ kReverseFlag);
    m.RevCode1[t] = static_cast<std::int16_t>(m.PosCode0[t] ^ kReverseFlag);
    m.RevCode2[t] = stepAhead(m.RevCode0[t], m.RevCode0[t], 1);
    m.RevCode3[t] = stepAhead(m.RevCode0[t], m.RevCode0[t], 2);
    m.RevState[t] = kRevReady;
}

} // namespace relm
