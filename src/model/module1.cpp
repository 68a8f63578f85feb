#include "model/module1.h"

namespace relm {

void setStartColours(Module1 &m)
{
    m.MapBackColour = kMapBackColour;
    m.TrainColour = {kColourRed, kColourGreen, kColourBlue};
}

void fillPointTable(Module1 &m)
{
    // Route 1 section 0 joins route 0 at sections 0/1, and route 0 section 0 joins route 1 at
    // sections 1/2, in both running directions.
    auto &point = m.PointTable[0];
    point[0] = {8, 0, 1};
    point[1] = {0, 9, 10};
    point[2] = {0x29, 0x20, 0x27};
    point[3] = {0x20, 0x28, 0x2F};
}

} // namespace relm
