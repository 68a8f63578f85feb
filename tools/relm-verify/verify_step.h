#pragma once

// The moves of the exhaustive check. From a stored state either the operator acts (slider to a
// level, 停止, ポイント, 逆転, リセット), or one period of 200 ms passes:
//
//   status frame   the controller reports registers 0..4 and its speed; a braking train may
//                  already report standstill or still a speed; the console's statusEvent runs
//   moves          each train may move its head one step, before the tick or after it
//   command tick   the console's commandTick; the frame takes effect at the controller at once
//
// A head may move one step every other period at a sent speed above 48, and one every fourth
// period at 48 or less and while braking. A section is six steps: at the sample layout's
// 250 mm/s for speed 128 a train runs 50 mm of its 1000 mm a period, 19 mm at 48, so the model
// lets the trains run at least as far as they can (83 and 42 mm a period). A head exactly on the far boundary crosses at once,
// standing or not, as the controller's physics does; a crossing may land exactly on the
// boundary just crossed, as a train at speed 128 does (0.25 mm a millisecond).
//
// Every move is checked: two trains never cover one section (head or tail), a head never enters
// a section another train covers, reversed registers only reach a train that stands with speed
// 0, a point command only sets a route into a section no other train covers, and every tick
// with target 0 lowers the speed register by 20 or to 0.

#include "verify_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace relm::verify {

enum class StepKind : std::uint8_t { Slider, Point, Reverse, Reset, Period };

// Per train in a period: whether its head moves a step, and where a crossing lands.
enum class Move : std::uint8_t { None = 0, BeforeTick = 1, AfterTick = 2 };

struct Step
{
    StepKind kind = StepKind::Period;
    int train = 0;
    int level = 0; // slider level index
    std::array<Move, kTrainCount> move{};
    std::array<bool, kTrainCount> landExactly{};   // a crossing lands exactly on the boundary
    std::array<bool, kTrainCount> reportsMoving{}; // a braking train still reports a speed
};

std::uint16_t encode(const Step &s);
Step decode(std::uint16_t label);

enum class FindingKind {
    SharedSection,       // two present trains cover one section
    EnteredOccupied,     // a head entered a section another train covers
    ReversalWhileMoving, // reversed registers reached a train that runs or is told to run
    PointIntoOccupied,   // point command 30 set a route into a section another train covers
    SlowRamp,            // a tick with target 0 did not lower the speed register by 20 or to 0
};
inline constexpr int kFindingKinds = 5;

const char *findingName(FindingKind kind);

struct Finding
{
    FindingKind kind = FindingKind::SharedSection;
    int train = 0;
    std::string what;
};

// What the controller and the console said in a period, for a trace.
struct PeriodFrames
{
    std::vector<std::uint8_t> status;  // the status frame the console read
    std::vector<std::uint8_t> command; // the frame the tick sent
};

struct StepResult
{
    World next;
    std::vector<Finding> findings;
    PeriodFrames frames;
    int routeFaults = 0; // trains the controller held: register 2 not where the track leads
};

// The steps possible from a state; none once the stop command has halted the controller.
std::vector<Step> stepsFrom(const World &w, const ModelShape &shape);

StepResult apply(const World &w, const Step &step, const ModelShape &shape);

// The operator's words for a step ("operator: Y slider 128", "period").
std::string describe(const Step &step);

// The status frame the controller sends from this state (24 bytes).
std::vector<std::uint8_t> statusFrame(const World &w, const std::array<bool, kTrainCount> &moving);

} // namespace relm::verify
