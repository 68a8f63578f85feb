#include "console/operator_commands.h"

#include "model/section_code.h"

namespace relm {

void sliderMoved(Module1 &m, int t, int maximum, int position)
{
    m.SliderSpeed[t] = static_cast<std::int16_t>(maximum - position);
}

void stopPressed(Module1 &m, int t)
{
    m.SliderSpeed[t] = 0;
}

void emergencyStopPressed(Module1 &m, int t)
{
    m.SliderSpeed[t] = 0;
    m.TargetSpeed[t] = 0;
    m.OutSpeed[t] = 0;
}

std::optional<std::uint32_t> pointPressed(Module1 &m, int t)
{
    // A route already set still completes, and a refusal mark stays until a new request is armed.
    switch (m.PointReq[t]) {
    case 0:
        m.PointReq[t] = 1;
        return kRequestColour;
    case 1:
        m.PointReq[t] = 0;
        return kButtonFaceColour;
    default:
        return std::nullopt;
    }
}

std::optional<std::uint32_t> reversePressed(Module1 &m, int t)
{
    switch (m.RevState[t]) {
    case kRevIdle:
        if (m.PosCode0[t] >= kAbsentCode)
            return std::nullopt;
        m.RevState[t] = kRevRequested;
        return kRequestColour;
    case kRevRequested:
        m.RevState[t] = kRevIdle;
        return kButtonFaceColour;
    default:
        return std::nullopt; // seen by a status frame: can no longer be withdrawn
    }
}

std::optional<ReversalRefusal> reversalRefusal(const Module1 &m, int t, const FrameReading &last)
{
    switch (m.RevState[t]) {
    case kRevIdle:
        break;
    case kRevRequested:
        return std::nullopt;
    default:
        return ReversalRefusal::UnderWay;
    }
    if (m.PosCode0[t] >= kAbsentCode)
        return ReversalRefusal::NotOnLayout;
    if (last.unreported[t] || last.doubted[t])
        return ReversalRefusal::NotReported;
    if (!standsStill(m, t, last))
        return ReversalRefusal::Moving;
    return std::nullopt;
}

void resetPressed(Module1 &m)
{
    m.TrainCmd[0] = kCmdStop;
}

ExitAction exitPressed(Module1 &m, bool timerEnabled, bool &exitPending)
{
    if (!timerEnabled)
        return ExitAction::EndNow;
    exitPending = true;
    m.TrainCmd[0] = kCmdStop;
    return ExitAction::AfterNextFrame;
}

} // namespace relm
