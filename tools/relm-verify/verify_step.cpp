#include "verify_step.h"

#include "console/operator_commands.h"
#include "link/command_tick.h"
#include "link/register_frames.h"
#include "link/status_event.h"
#include "model/section_code.h"

#include <algorithm>
#include <cstdio>

namespace relm::verify {

namespace {

constexpr BarFrame kBarFrame{1575, 1920};
constexpr int kSliderMaximum = 128;
constexpr int kCaution = 48;
constexpr int kReportedRunning = 20; // any speed of 2 or more: the train does not stand
constexpr int kReportedBraking = 8;

// A facing exit with a point: where the thrown point leads, and which point it is.
struct Connection
{
    int from;
    int diverging;
    int point; // 0 A, 1 B
};
constexpr std::array<Connection, 4> kConnections{{
    {0x08, 0x00, 0},
    {0x00, 0x09, 1},
    {0x29, 0x20, 1},
    {0x20, 0x28, 0},
}};

int travel(int code)
{
    return code & 0x3F;
}

const Connection *connectionAt(int from)
{
    for (const Connection &c : kConnections) {
        if (c.from == travel(from))
            return &c;
    }
    return nullptr;
}

int plainAhead(int code)
{
    return travel(stepAhead(code, code, 1));
}

int trackAhead(const World &w, int code)
{
    const Connection *c = connectionAt(code);
    if (c != nullptr && w.pointThrown[static_cast<std::size_t>(c->point)])
        return c->diverging;
    return plainAhead(code);
}

int farBoundary(const ModelShape &shape)
{
    return shape.bins + 1;
}

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

std::string hex(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", v & 0xFF);
    return text;
}

bool absent(int code)
{
    return (code & kAbsentFlag) != 0;
}

// Section numbers the train covers: head and tail (-1 when the tail names no section).
std::array<int, 2> cover(const ModelTrain &c)
{
    return {sectionNumber(c.reg[0]), absent(c.reg[1]) ? -1 : sectionNumber(c.reg[1])};
}

bool coveredByOther(const World &w, int t, int section)
{
    for (int j = 0; j < kTrainCount; ++j) {
        const ModelTrain &o = w.trains[static_cast<std::size_t>(j)];
        if (j == t || !o.present())
            continue;
        const auto c = cover(o);
        if (c[0] == section || c[1] == section)
            return true;
    }
    return false;
}

void checkShared(const World &w, std::vector<Finding> &findings)
{
    for (int i = 0; i < kTrainCount; ++i) {
        for (int j = i + 1; j < kTrainCount; ++j) {
            const ModelTrain &a = w.trains[static_cast<std::size_t>(i)];
            const ModelTrain &b = w.trains[static_cast<std::size_t>(j)];
            if (!a.present() || !b.present())
                continue;
            for (const int s : cover(a)) {
                const auto other = cover(b);
                if (s >= 0 && (s == other[0] || s == other[1])) {
                    findings.push_back({FindingKind::SharedSection, i,
                                        std::string("trains ") + trainName(i) + " and " +
                                            trainName(j) + " both cover section " + hex(s)});
                    return;
                }
            }
        }
    }
}

// The head crosses into the section ahead, or is held on the boundary when register 2 does not
// name it.
void cross(World &w, int t, bool landExactly, const ModelShape &shape, StepResult &r)
{
    ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
    const int ahead = trackAhead(w, c.reg[0]);
    if (absent(c.reg[2]) || travel(c.reg[2]) != ahead) {
        if (!c.held)
            ++r.routeFaults;
        c.held = true;
        c.motion = Motion::Standing;
        c.place = static_cast<std::uint8_t>(shape.bins + 1);
        return;
    }
    c.held = false;
    c.reg[1] = c.reg[0];
    c.reg[0] = static_cast<std::uint8_t>(ahead);
    c.reg[2] = c.reg[3];
    c.reg[3] = static_cast<std::uint8_t>(stepAhead(ahead, c.reg[2], 1));
    c.place = landExactly ? 0 : 1;
    if (coveredByOther(w, t, sectionNumber(ahead))) {
        r.findings.push_back({FindingKind::EnteredOccupied, t,
                              std::string("train ") + trainName(t) + " entered " + hex(ahead) +
                                  ", a section another train covers"});
    }
}

// A head exactly on the far boundary crosses at once, whatever the train's speed.
void crossAtBoundary(World &w, const ModelShape &shape, StepResult &r)
{
    for (int t = 0; t < kTrainCount; ++t) {
        ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        if (c.present() && !w.halted && c.place == farBoundary(shape))
            cross(w, t, true, shape, r);
    }
}

void moveHead(World &w, int t, bool landExactly, const ModelShape &shape, StepResult &r)
{
    ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
    if (!c.present() || w.halted || c.motion == Motion::Standing || c.held)
        return;
    const bool fast = w.console.OutSpeed[t] > kCaution && c.motion == Motion::Running;
    if (w.phase % 2 != 0 || (!fast && w.phase != 0))
        return;
    if (c.place < shape.bins) {
        ++c.place;
        return;
    }
    if (c.place == shape.bins)
        cross(w, t, landExactly, shape, r);
}

// The controller takes a register write as it would: a write to register 0 places the train or
// turns it round, register 7 runs a command.
void placeTrain(World &w, int t, int oldOwn, int oldBehind, const ModelShape &shape)
{
    ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
    const int now = c.reg[0];
    const bool wasPresent = !absent(oldOwn);
    if (absent(now)) {
        c.motion = Motion::Standing;
        c.place = 0;
        c.held = false;
        return;
    }
    if (wasPresent && travel(now) == travel(oldOwn))
        return;
    c.held = false;
    if (wasPresent && (travel(now) == (travel(oldOwn) ^ kReverseFlag) ||
                       (!absent(oldBehind) && travel(now) == (travel(oldBehind) ^ kReverseFlag)))) {
        c.place = static_cast<std::uint8_t>(farBoundary(shape) - c.place);
        return;
    }
    c.place = static_cast<std::uint8_t>((shape.bins + 1) / 2);
    if (!wasPresent)
        c.motion = Motion::Standing;
}

void runCommand(World &w, int t, int command)
{
    ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
    if (command == kCmdStop && t == 0) {
        for (ModelTrain &each : w.trains)
            each.motion = Motion::Standing;
        w.halted = true;
        return;
    }
    if (command == kCmdSetPoint) {
        const Connection *k = c.present() ? connectionAt(c.reg[0]) : nullptr;
        if (k != nullptr && k->diverging == travel(c.reg[2])) {
            w.pointThrown[static_cast<std::size_t>(k->point)] = true;
            c.thrown = static_cast<std::int8_t>(k->point);
        } else if (k != nullptr && plainAhead(c.reg[0]) == travel(c.reg[2])) {
            w.pointThrown[static_cast<std::size_t>(k->point)] = false;
        }
        return;
    }
    if (command == kCmdPointPassed) {
        const int p = c.thrown;
        c.thrown = -1;
        if (p < 0)
            return;
        const bool stillUsed = std::any_of(w.trains.begin(), w.trains.end(),
                                           [p](const ModelTrain &o) { return o.thrown == p; });
        if (!stillUsed)
            w.pointThrown[static_cast<std::size_t>(p)] = false;
    }
}

// Checks the frame against the controller as it stands, then lets it take effect pair by pair.
void applyFrame(World &w, const std::vector<std::uint8_t> &frame, const ModelShape &shape,
                StepResult &r)
{
    std::array<int, kTrainCount> speedRegister{};
    for (int t = 0; t < kTrainCount; ++t)
        speedRegister[static_cast<std::size_t>(t)] = r.next.console.OutSpeed[t];
    for (const RegisterWrite &p : registerWrites(frame)) {
        if (p.train < 0 || p.train >= kTrainCount || w.halted)
            continue;
        ModelTrain &c = w.trains[static_cast<std::size_t>(p.train)];
        const int oldOwn = c.reg[0];
        const int oldBehind = c.reg[1];
        switch (p.offset) {
        case kRegPosition0:
            if (c.present() && (c.motion != Motion::Standing ||
                                speedRegister[static_cast<std::size_t>(p.train)] > 0)) {
                r.findings.push_back({FindingKind::ReversalWhileMoving, p.train,
                                      std::string("train ") + trainName(p.train) +
                                          " reversed to " + hex(p.value) + " while it " +
                                          (c.motion != Motion::Standing ? "moves" : "is told to run")});
            }
            c.reg[0] = static_cast<std::uint8_t>(p.value);
            placeTrain(w, p.train, oldOwn, oldBehind, shape);
            break;
        case kRegPosition1:
        case kRegPosition2:
        case kRegPosition3:
            c.reg[static_cast<std::size_t>(p.offset)] = static_cast<std::uint8_t>(p.value);
            break;
        case kRegCommand:
            if (p.value == kCmdSetPoint && c.present() &&
                coveredByOther(w, p.train, sectionNumber(c.reg[2]))) {
                r.findings.push_back({FindingKind::PointIntoOccupied, p.train,
                                      std::string("train ") + trainName(p.train) +
                                          " got point command 30 towards " + hex(c.reg[2]) +
                                          ", a section another train covers"});
            }
            runCommand(w, p.train, p.value);
            break;
        default:
            break;
        }
    }
}

} // namespace

const char *findingName(FindingKind kind)
{
    switch (kind) {
    case FindingKind::SharedSection:
        return "shared section";
    case FindingKind::EnteredOccupied:
        return "entered an occupied section";
    case FindingKind::ReversalWhileMoving:
        return "reversal sent while the train moves";
    case FindingKind::PointIntoOccupied:
        return "point command into an occupied section";
    case FindingKind::SlowRamp:
        return "stopped train's speed not lowered";
    }
    return "?";
}

std::uint16_t encode(const Step &s)
{
    std::uint16_t v = static_cast<std::uint16_t>(s.kind);
    if (s.kind == StepKind::Period) {
        for (int t = 0; t < kTrainCount; ++t) {
            const auto k = static_cast<std::size_t>(t);
            const int bits = static_cast<int>(s.move[k]) | (s.landExactly[k] ? 4 : 0) |
                             (s.reportsMoving[k] ? 8 : 0);
            v = static_cast<std::uint16_t>(v | (bits << (3 + 4 * t)));
        }
        return v;
    }
    return static_cast<std::uint16_t>(v | (s.train << 3) | (s.level << 5));
}

Step decode(std::uint16_t label)
{
    Step s;
    s.kind = static_cast<StepKind>(label & 7);
    if (s.kind == StepKind::Period) {
        for (int t = 0; t < kTrainCount; ++t) {
            const int bits = (label >> (3 + 4 * t)) & 15;
            const auto k = static_cast<std::size_t>(t);
            s.move[k] = static_cast<Move>(bits & 3);
            s.landExactly[k] = (bits & 4) != 0;
            s.reportsMoving[k] = (bits & 8) != 0;
        }
        return s;
    }
    s.train = (label >> 3) & 3;
    s.level = (label >> 5) & 3;
    return s;
}

std::vector<std::uint8_t> statusFrame(const World &w, const std::array<bool, kTrainCount> &moving)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(kTrainCount * kStatusRecordBytes), 0);
    for (int t = 0; t < kTrainCount; ++t) {
        const ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        const auto at = static_cast<std::size_t>(t * kStatusRecordBytes);
        for (std::size_t k = 0; k < 4; ++k)
            frame[at + k] = c.reg[k];
        frame[at + 4] = static_cast<std::uint8_t>(w.console.OutSpeed[t]);
        int speed = 0;
        if (c.present() && c.motion == Motion::Running)
            speed = kReportedRunning;
        else if (c.present() && c.motion == Motion::Braking && moving[static_cast<std::size_t>(t)])
            speed = kReportedBraking;
        frame[at + 5] = static_cast<std::uint8_t>(speed);
    }
    return frame;
}

std::vector<Step> stepsFrom(const World &w, const ModelShape &shape)
{
    std::vector<Step> steps;
    if (w.halted)
        return steps;
    const Module1 &m = w.console;
    for (int t = 0; t < kTrainCount; ++t) {
        if (!w.trains[static_cast<std::size_t>(t)].present())
            continue; // an absent train's slider and buttons change nothing
        for (int k = 0; k < static_cast<int>(kSliderLevels.size()); ++k) {
            if (shape.sliderLevels == 2 && k == 1)
                continue;
            if (kSliderLevels[static_cast<std::size_t>(k)] != m.SliderSpeed[t])
                steps.push_back({.kind = StepKind::Slider, .train = t, .level = k});
        }
        // A point request of a train on a loop with no point is never taken up.
        if (m.PosCode0[t] >= kAbsentCode || ((m.PosCode0[t] >> 3) & 3) < 2)
            steps.push_back({.kind = StepKind::Point, .train = t});
        if (m.RevState[t] == kRevRequested || (m.RevState[t] == kRevIdle && m.PosCode0[t] < kAbsentCode))
            steps.push_back({.kind = StepKind::Reverse, .train = t});
    }
    if (!w.stopPending)
        steps.push_back({.kind = StepKind::Reset});

    // Every combination of what the trains may do in a period.
    std::vector<Step> periods{Step{}};
    for (int t = 0; t < kTrainCount; ++t) {
        const ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        if (!c.present())
            continue;
        const auto k = static_cast<std::size_t>(t);
        std::vector<Step> more;
        for (const Step &p : periods) {
            for (const Move mv : {Move::None, Move::BeforeTick, Move::AfterTick}) {
                for (const bool exact : {false, true}) {
                    if (exact && (mv == Move::None || c.place != shape.bins))
                        continue;
                    for (const bool reports : {false, true}) {
                        if (reports && c.motion != Motion::Braking)
                            continue;
                        Step s = p;
                        s.move[k] = mv;
                        s.landExactly[k] = exact;
                        s.reportsMoving[k] = reports;
                        more.push_back(s);
                    }
                }
            }
        }
        periods = std::move(more);
    }
    steps.insert(steps.end(), periods.begin(), periods.end());
    return steps;
}

StepResult apply(const World &w, const Step &step, const ModelShape &shape)
{
    StepResult r;
    r.next = w;
    World &n = r.next;
    Module1 &m = n.console;
    switch (step.kind) {
    case StepKind::Slider:
        sliderMoved(m, step.train, kSliderMaximum,
                    kSliderMaximum - kSliderLevels[static_cast<std::size_t>(step.level)]);
        return r;
    case StepKind::Point:
        pointPressed(m, step.train);
        return r;
    case StepKind::Reverse:
        reversePressed(m, step.train);
        return r;
    case StepKind::Reset:
        resetPressed(m);
        n.stopPending = true;
        return r;
    case StepKind::Period:
        break;
    }

    // The status frame; a braking train that reports no speed stands from now on.
    r.frames.status = statusFrame(n, step.reportsMoving);
    for (int t = 0; t < kTrainCount; ++t) {
        ModelTrain &c = n.trains[static_cast<std::size_t>(t)];
        if (c.motion == Motion::Braking && !step.reportsMoving[static_cast<std::size_t>(t)])
            c.motion = Motion::Standing;
    }
    statusEvent(m, r.frames.status, kBarFrame);

    crossAtBoundary(n, shape, r);
    for (int t = 0; t < kTrainCount; ++t) {
        if (step.move[static_cast<std::size_t>(t)] == Move::BeforeTick)
            moveHead(n, t, step.landExactly[static_cast<std::size_t>(t)], shape, r);
    }

    // The tick. A train braking since the last tick has stood for a while by now.
    for (ModelTrain &c : n.trains) {
        if (c.motion == Motion::Braking)
            c.motion = Motion::Standing;
    }
    const Module1::Table4 before = m.OutSpeed;
    const Module1::Table4 target = m.TargetSpeed;
    const TickResult tick = commandTick(m, false);
    for (int t = 0; t < kTrainCount; ++t) {
        if (target[t] == 0 && m.OutSpeed[t] > std::max(0, before[t] - kRampStep)) {
            r.findings.push_back({FindingKind::SlowRamp, t,
                                  std::string("train ") + trainName(t) + " told " +
                                      std::to_string(m.OutSpeed[t]) + " after " +
                                      std::to_string(before[t]) + " with target 0"});
        }
    }
    r.frames.command = tick.bytes;
    applyFrame(n, tick.bytes, shape, r);
    n.stopPending = false;
    if (!tick.timerEnabled)
        n.halted = true;
    for (int t = 0; t < kTrainCount; ++t) {
        ModelTrain &c = n.trains[static_cast<std::size_t>(t)];
        if (!c.present() || n.halted || c.held)
            continue;
        if (m.OutSpeed[t] > 0)
            c.motion = Motion::Running;
        else if (c.motion == Motion::Running)
            c.motion = Motion::Braking;
    }
    checkShared(n, r.findings);

    crossAtBoundary(n, shape, r);
    for (int t = 0; t < kTrainCount; ++t) {
        if (step.move[static_cast<std::size_t>(t)] == Move::AfterTick)
            moveHead(n, t, step.landExactly[static_cast<std::size_t>(t)], shape, r);
    }
    checkShared(n, r.findings);
    n.phase = static_cast<std::uint8_t>((n.phase + 1) % 4);
    m.TargetSpeed.fill(0); // dead until the next status frame rewrites it
    return r;
}

std::string describe(const Step &step)
{
    const std::string who = std::string(1, trainName(step.train));
    switch (step.kind) {
    case StepKind::Slider: {
        const int level = kSliderLevels[static_cast<std::size_t>(step.level)];
        return level == 0 ? "operator: " + who + " 停止"
                          : "operator: " + who + " slider " + std::to_string(level);
    }
    case StepKind::Point:
        return "operator: " + who + " ポイント";
    case StepKind::Reverse:
        return "operator: " + who + " 逆転";
    case StepKind::Reset:
        return "operator: リセット";
    case StepKind::Period:
        break;
    }
    std::string text = "period:";
    for (int t = 0; t < kTrainCount; ++t) {
        const auto k = static_cast<std::size_t>(t);
        static constexpr const char *kMove[] = {"", " moves before the tick", " moves after the tick"};
        if (step.move[k] == Move::None && !step.reportsMoving[k])
            continue;
        text += std::string(" ") + trainName(t) + kMove[static_cast<int>(step.move[k])] +
                (step.landExactly[k] ? " (lands on the boundary)" : "") +
                (step.reportsMoving[k] ? " (still reports a speed)" : "");
    }
    return text;
}

} // namespace relm::verify
