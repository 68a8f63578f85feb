#include "map/map_colour.h"

#include "model/section_code.h"

namespace relm {

std::int32_t polygonFillColour(const Module1 &module, int polygon)
{
    for (std::size_t t = 0; t < kTrainCount; ++t) {
        if (module.PosCode0[t] >= kAbsentCode)
            continue;
        if (sectionNumber(module.PosCode0[t]) == polygon ||
            sectionNumber(module.PosCode1[t]) == polygon)
            return module.TrainColour[t];
    }
    return module.MapBackColour;
}

} // namespace relm
