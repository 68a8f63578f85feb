#pragma once

// A seeded operator at the console: moves speed sliders, presses Stop, Point and Reverse, and
// now and then Reset followed, a little later, by a new Transfer.

#include "sim/sim_time.h"

#include <array>
#include <string>

namespace relm {

namespace sim {
class SeededRandom;
}

enum class OperatorAction { Slider, Stop, Point, Reverse, Reset, Transfer };
inline constexpr int kOperatorActionKinds = 6;

const char *actionName(OperatorAction action);

struct OperatorStep
{
    OperatorAction action = OperatorAction::Slider;
    int train = 0;          // 0..2 for the per-train controls
    int sliderPosition = 0; // 0 (full speed) .. 128 (stop), for Slider
};

struct OperatorHabits
{
    double meanPauseSeconds = 1.5; // between two actions
    double resetChance = 0.01;     // of any action while Reset is enabled
    double quickTransferChance = 0.05; // Transfer within a command tick of Reset
};

class RandomOperator final
{
public:
    explicit RandomOperator(OperatorHabits habits = {})
        : m_habits(habits)
    {}

    // The next action; Reset only while the window has it enabled. Transfer is not chosen
    // here: it follows a Reset after transferDelay().
    OperatorStep choose(sim::SeededRandom &random, bool resetEnabled);

    // Pause before the next per-train action.
    sim::Duration pause(sim::SeededRandom &random) const;
    // Pause between Reset and the Transfer that follows it.
    sim::Duration transferDelay(sim::SeededRandom &random) const;

private:
    OperatorHabits m_habits;
};

std::string describe(const OperatorStep &step);

} // namespace relm
