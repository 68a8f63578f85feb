#pragma once

// Initial train positions for a soak's atc.ini: each train on the layout at a random place,
// never within the sections another train is given.

#include "initdata/ini_format.h"
#include "model/module1.h"

#include <span>
#include <vector>

namespace relm {

namespace sim {
class SeededRandom;
}

// Twelve atc.ini values. A train is on the layout with probability `runChance`; the behind,
// own, next and after-next sections of any two trains on the layout are all different.
IniValueArray trainsApart(sim::SeededRandom &random, double runChance = 0.9);

// The section numbers (0..31) a train placed by these four values holds: behind, own, next and
// after next. Empty for a train that is not on the layout.
std::vector<int> heldSections(std::span<const std::int32_t, kIniValuesPerTrain> values);

} // namespace relm
