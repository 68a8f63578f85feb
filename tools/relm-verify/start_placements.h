#pragma once

// The start placements the check begins from: every atc.ini that places the first n trains on
// the layout, each facing either way in any section of any route, with no two trains' behind,
// own, next and after-next sections in common (what a Transfer accepts as apart), and the other
// trains off the layout. The trains on the layout share one stretch of track that meets: routes
// 0 and 1 (joined by the crossovers), route 2, or route 3.

#include "verify_state.h"

#include "initdata/ini_format.h"

#include <string>
#include <vector>

namespace relm::verify {

// Every such placement of `trains` trains (1..3) on the given routes, in a fixed order.
std::vector<IniValueArray> startPlacements(int trains, const std::vector<int> &routes);

// The world a Transfer with these atc.ini values leaves once the initialisation frame has taken
// effect: the console's tables through its own startCycle and commandTick, the controller's
// registers as that frame writes them, every head in the middle of its section, nothing moving.
// `initFrame` receives the initialisation frame.
World startWorld(const IniValueArray &values, const ModelShape &shape,
                 std::vector<std::uint8_t> *initFrame = nullptr);

// "X 0 3 0 1, Y 1 5 1 1, Z off": the placement as a line.
std::string describePlacement(const IniValueArray &values);

} // namespace relm::verify
