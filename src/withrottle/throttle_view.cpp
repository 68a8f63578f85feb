#include "withrottle/throttle_view.h"

namespace relm {

int throttleSpeedOfTrain(const Console &console, int t)
{
    return throttleSpeedOf(kSliderMaximum - console.train(t).sliderPosition);
}

char throttlePower(const Console &console)
{
    const ConsoleDisplay &d = console.display();
    if (d.lineLost)
        return '2';
    return d.running ? '1' : '0';
}

ThrottleDirections::ThrottleDirections(const Console &console)
    : m_console(console)
{
    for (int t = 0; t < kTrainCount; ++t) {
        m_lastReported[static_cast<std::size_t>(t)] = console.runsReverse(t);
        m_settled[static_cast<std::size_t>(t)] = true;
    }
}

void ThrottleDirections::statusFrame()
{
    for (int t = 0; t < kTrainCount; ++t) {
        const auto i = static_cast<std::size_t>(t);
        const bool reverse = m_console.runsReverse(t);
        m_settled[i] = reverse == m_lastReported[i];
        m_lastReported[i] = reverse;
    }
}

ThrottleView ThrottleDirections::view() const
{
    ThrottleView v;
    const Module1 &m = m_console.module();
    for (int t = 0; t < kTrainCount; ++t) {
        const auto i = static_cast<std::size_t>(t);
        v.speed[i] = throttleSpeedOfTrain(m_console, t);
        if (m_settled[i] && m.RevState[i] == kRevIdle)
            v.forward[i] = !m_console.runsReverse(t);
        v.pointThrown[i] = m.PointReq[i] != 0;
    }
    v.power = throttlePower(m_console);
    return v;
}

} // namespace relm
