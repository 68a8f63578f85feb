#pragma once

// What the operator's sliders and buttons do to the train tables. The window only forwards the
// input and applies the returned button colours; the next tick or status frame acts on the change.

#include "link/supervision.h"
#include "model/colours.h"
#include "model/module1.h"

#include <cstdint>
#include <optional>

namespace relm {

// Speed slider of train t moved: the requested speed is the range maximum minus the position.
void sliderMoved(Module1 &m, int t, int maximum, int position);

// Stop of train t: requested speed 0. The caller then puts the slider at its maximum.
void stopPressed(Module1 &m, int t);

// Emergency stop of train t, the one stop that is not ramped: requested, target and sent speed
// 0 at once, so the next command frame carries speed 0. The caller then puts the slider at its
// maximum, as for Stop.
void emergencyStopPressed(Module1 &m, int t);

// Point of train t: toggles the request. Returns the button's new colour, or nothing to leave it.
std::optional<std::uint32_t> pointPressed(Module1 &m, int t);

// Reverse of train t: toggles between idle and requested; a reversal under way is left alone,
// and so is a request for a train that is not on the layout (own code 128 or more): its
// reversed codes would place it there.
std::optional<std::uint32_t> reversePressed(Module1 &m, int t);

// Why a reversal asked for train t now would not be taken at once.
enum class ReversalRefusal {
    UnderWay,    // a status frame has seen the last request: it can no longer be withdrawn
    NotOnLayout, // own code 128 or more: nothing to reverse into
    NotReported, // no believed report of the train since the last download
    Moving,      // it does not stand: the request would first stop it
};

// Whether a reversal request for train t, judged by the last decoded status frame, is taken
// now: empty when it is (a pending request is withdrawn), else why not. The standstill rule is
// the reversal pass's own.
std::optional<ReversalRefusal> reversalRefusal(const Module1 &m, int t, const FrameReading &last);

// Reset: the next tick sends the stop command and stops the cycle.
void resetPressed(Module1 &m);

enum class ExitAction {
    EndNow,        // the cycle is stopped: end at once, nothing is sent
    AfterNextFrame // the stop command goes out with the next frame, then the program ends
};

// Exit: decided by whether the command cycle's timer runs. Sets exitPending when it does.
ExitAction exitPressed(Module1 &m, bool timerEnabled, bool &exitPending);

} // namespace relm
