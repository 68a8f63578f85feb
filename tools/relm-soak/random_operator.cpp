#include "random_operator.h"

#include "sim/seeded_random.h"

#include <algorithm>
#include <cmath>

namespace relm {

namespace {

constexpr int kSliderMaximum = 128;

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

sim::Duration seconds(double s)
{
    return sim::Duration{static_cast<std::int64_t>(s * 1e6)};
}

} // namespace

const char *actionName(OperatorAction action)
{
    switch (action) {
    case OperatorAction::Slider:
        return "slider";
    case OperatorAction::Stop:
        return "stop";
    case OperatorAction::Point:
        return "point";
    case OperatorAction::Reverse:
        return "reverse";
    case OperatorAction::Reset:
        return "reset";
    case OperatorAction::Transfer:
        return "transfer";
    }
    return "?";
}

OperatorStep RandomOperator::choose(sim::SeededRandom &random, bool resetEnabled)
{
    OperatorStep step;
    if (resetEnabled && random.chance(m_habits.resetChance)) {
        step.action = OperatorAction::Reset;
        return step;
    }
    step.train = random.between(0, 2);
    const int roll = random.between(0, 99);
    if (roll < 50) {
        step.action = OperatorAction::Slider;
        // Mostly running speeds, sometimes the stop end or full speed.
        step.sliderPosition = random.chance(0.1) ? kSliderMaximum
                                                 : random.between(0, kSliderMaximum);
    } else if (roll < 60) {
        step.action = OperatorAction::Stop;
    } else if (roll < 82) {
        step.action = OperatorAction::Point;
    } else {
        step.action = OperatorAction::Reverse;
    }
    return step;
}

sim::Duration RandomOperator::pause(sim::SeededRandom &random) const
{
    // Exponential pauses: bursts of quick presses and long quiet spells.
    const double u = std::max(random.unit(), 1e-12);
    return seconds(std::min(-std::log(u) * m_habits.meanPauseSeconds, 60.0));
}

sim::Duration RandomOperator::transferDelay(sim::SeededRandom &random) const
{
    if (random.chance(m_habits.quickTransferChance))
        return seconds(0.02 + 0.17 * random.unit());
    return seconds(0.5 + 7.5 * random.unit());
}

std::string describe(const OperatorStep &step)
{
    std::string text = std::string("operator: ") + actionName(step.action);
    switch (step.action) {
    case OperatorAction::Slider:
        text += std::string(" ") + trainName(step.train) + " to "
                + std::to_string(step.sliderPosition) + " (speed "
                + std::to_string(kSliderMaximum - step.sliderPosition) + ")";
        break;
    case OperatorAction::Stop:
    case OperatorAction::Point:
    case OperatorAction::Reverse:
        text += std::string(" ") + trainName(step.train);
        break;
    case OperatorAction::Reset:
    case OperatorAction::Transfer:
        break;
    }
    return text;
}

} // namespace relm
