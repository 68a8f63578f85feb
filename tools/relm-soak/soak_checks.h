#pragma once

// The rules the soak holds the console to, checked against the controller's own view of the
// layout at the moment a frame from the console takes effect there.

#include "model/module1.h"
#include "sim/controller.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace relm {

enum class ViolationKind {
    SharedSection,       // two present trains came to cover one section
    EnteredOccupied,     // a train ran into a section another train covers
    ReversalWhileMoving, // reversed registers reached a train that runs or is told to run
    PointIntoOccupied,   // a point command set a route into a section another train covers
};
inline constexpr int kViolationKinds = 4;

const char *violationName(ViolationKind kind);

// One train as the controller holds it.
struct TrainTruth
{
    bool present = false;
    int head = 0;          // section number of register 0
    int tail = -1;         // section number of register 1, -1 when it names no section
    double speed = 0.0;    // speed the train runs at
    int speedRegister = 0; // register 4
};
using LayoutTruth = std::array<TrainTruth, kTrainCount>;

LayoutTruth truthOf(const sim::Controller &controller);

// Whether a present train other than `train` covers section number `section`.
bool coveredByOther(const LayoutTruth &truth, int train, int section);

struct FrameFinding
{
    ViolationKind kind = ViolationKind::ReversalWhileMoving;
    int train = 0;
    std::string detail;
};

// Checks a command frame (0xFF, count, pairs) as it takes effect on `truth`: reversed position
// registers only for a train that stands with speed 0 and gets speed 0 in the same frame, and
// a point command (0x30) only with a next section no other train covers.
std::vector<FrameFinding> checkCommandFrame(std::span<const std::uint8_t> frame,
                                            const LayoutTruth &truth);

// The trains whose own section in an initialisation frame is not the one LoadIni gave them at
// Transfer, each with a line of text: something replaced the loaded position before the frame.
std::vector<std::pair<int, std::string>> positionsReplaced(std::span<const std::uint8_t> frame,
                                                           const Module1::Table4 &loadedOwn);

} // namespace relm
