#include "link/supervision.h"

#include "model/safety.h"
#include "model/section_code.h"

namespace relm {
namespace {

// Gives train t a one-shot point command, unless a stop (Reset or Exit) is still waiting for
// the next tick: that stop must reach the controller, and the cycle ends with it anyway.
void setPointCommand(Module1 &m, int t, std::int16_t command)
{
    if (m.TrainCmd[t] != kCmdStop)
        m.TrainCmd[t] = command;
}

// Whether train t is being stopped to turn round, or its reversed registers wait for the tick.
bool reversalUnderWay(const Module1 &m, int t)
{
    return m.RevState[t] == kRevStopping || m.RevState[t] == kRevReady;
}

// Visits point 0, entries 0..3 for train t. Returns true when the request finished.
// A train about to turn round gets no route: it would be one for the direction it is leaving,
// and reversed registers sent in the same frame as the point command would overwrite its next
// section while the point stays thrown. The request waits for the train's next move.
bool superviseTrainPoint(Module1 &m, int t, const FrameReading &reading)
{
    constexpr int kSearchedEntries = 4;
    const bool mayArm = !reversalUnderWay(m, t);
    for (int e = 0; e < kSearchedEntries; ++e) {
        const PointRecord &r = m.PointTable[0][e];
        if (mayArm && m.PointReq[t] == 1 && m.PointArmed[t] == kFalse &&
            m.PosCode0[t] == r.FromCode) {
            if (RouteClear(m, r.NextCode, t) &&
                !reading.doubtfulSections[static_cast<std::size_t>(sectionNumber(r.NextCode))]) {
                m.PosCode2[t] = r.NextCode;
                m.PosCode3[t] = r.AfterCode;
                setPointCommand(m, t, kCmdSetPoint);
                m.PointArmed[t] = kTrue;
                m.PointBlocked[t] = kFalse;
                return false;
            }
            // Refused here; a later record with the same FromCode may still be free.
            m.PointBlocked[t] = kTrue;
        }
        if (m.PointArmed[t] != kFalse && m.PosCode0[t] == r.AfterCode) {
            setPointCommand(m, t, kCmdPointPassed);
            m.PointArmed[t] = kFalse;
            m.PointReq[t] = 0;
            return true;
        }
    }
    return false;
}

// Whether train t may be turned round now: the section it would have next in the new direction,
// one beyond its section behind, is free of the other trains' four codes, as a point route must
// be, and of the codes of another train turned round in this same frame, which go out with its
// own. A head exactly on that boundary enters the section the moment it is turned, before any
// status frame could stop it.
bool reversedWayClear(const Module1 &m, int t)
{
    const auto own = static_cast<std::int16_t>(m.PosCode1[t] ^ kReverseFlag);
    const std::int16_t next = stepAhead(own, own, 1);
    if (!RouteClear(m, next, t))
        return false;
    for (const int j : otherTrains(t)) {
        if (m.RevState[j] != kRevReady)
            continue;
        for (const int d : {m.RevCode0[j], m.RevCode1[j], m.RevCode2[j], m.RevCode3[j]}) {
            if (occupies(d, next))
                return false;
        }
    }
    return true;
}

// A reversal ends a point passage still under way. The route was set for the old direction and
// the train, running the other way, never reaches its AfterCode: left armed, the point would
// stay thrown at the controller, which then holds this train (or another) at that point when it
// comes with the plain next section, and the train would stay limited to caution speed. The
// controller is told the passage is over in the frame that carries the reversal, before it, and
// the request is used up as when the train has passed.
bool endPassageOnReversal(Module1 &m, int t)
{
    if (m.PointArmed[t] == kFalse)
        return false;
    setPointCommand(m, t, kCmdPointPassed);
    m.PointArmed[t] = kFalse;
    m.PointReq[t] = 0;
    return true;
}

} // namespace

TrainFlags pointPass(Module1 &m, const FrameReading &reading)
{
    TrainFlags finished{};
    for (int t = 0; t < kTrainCount; ++t) {
        // A waiting or armed train is looked at only when it has moved; a refused one always.
        if (m.PointBlocked[t] == kFalse && !reading.posChanged[t])
            continue;
        finished[t] = superviseTrainPoint(m, t, reading);
    }
    return finished;
}

bool standsStill(const Module1 &m, int t, const FrameReading &reading)
{
    return m.OutSpeed[t] == 0 && !reading.unreported[t] && !reading.doubted[t] &&
           !reading.creeping[t] && reading.actualSpeed[t] < kStandstillSpeed;
}

ReversalOutcome reversalPass(Module1 &m, const FrameReading &reading)
{
    ReversalOutcome outcome;
    for (int t = 0; t < kTrainCount; ++t) {
        // A reversal waiting for the tick is held at 0 too: the frame that carries it must not
        // also start the train, whose sections ahead in the new direction no frame has checked.
        if (m.RevState[t] == kRevReady)
            m.TargetSpeed[t] = 0;
        if (m.RevState[t] != kRevStopping)
            continue;
        m.TargetSpeed[t] = 0;
        // A train reported off the layout has no sections to reverse into: its reversed codes
        // would place it back on the layout. It waits here until it is reported present again.
        if (m.PosCode0[t] >= kAbsentCode)
            continue;
        // It waits, standing, while another train holds or is bound for that section.
        if (standsStill(m, t, reading) && reversedWayClear(m, t)) {
            MakeReverse(m, t);
            outcome.ready[t] = true;
            outcome.passageEnded[t] = endPassageOnReversal(m, t);
        }
    }
    return outcome;
}

} // namespace relm
