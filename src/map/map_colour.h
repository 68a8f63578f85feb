#pragma once

// Which colour a section polygon of the map is filled with.

#include "model/module1.h"

#include <cstdint>

namespace relm {

// Fill colour (0x00BBGGRR) of polygon d: the colour of the first train, X before Y before Z,
// that is placed (PosCode0 below 128) and whose PosCode0 or PosCode1 names section d by its
// low five bits; otherwise MapBackColour. PosCode1 is used without an absent test, and only
// polygons 0..31 can ever match.
std::int32_t polygonFillColour(const Module1 &module, int polygon);

} // namespace relm
