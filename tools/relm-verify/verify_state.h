#pragma once

// One state of the exhaustive check: the console's own tables as the command tick leaves them,
// and an abstract controller beside them. Data flow:
//   PackedState -> unpack() -> World (Module1 + abstract trains) -> steps -> pack() -> PackedState
//
// The console's tables are the real Module1, driven by the console's own functions. Between
// two periods everything the tick consumes is gone (TrainCmd, RevState 3, RevCode0..3) and the
// status event rewrites every present train's TargetSpeed before the next tick reads it, so
// those tables are not kept: they are dead at the moment a state is stored.
//
// The abstract controller keeps, per train, registers 0..3 as bytes, where the head is within
// its own section, and whether the train moves:
//   place 0          the head exactly on the boundary it has just crossed
//   place 1..bins    somewhere inside the section, in steps of 1/bins of its length
//   place bins + 1   the head exactly on the far boundary (held there, or turned round from 0)
//   motion           standing, running, or braking after speed 0 was sent (stands by the next
//                    tick: the ramp's last step is at most 20 and braking takes 128 a second)
// Register 4 is the console's OutSpeed: frames take effect whole and in order on a clean line.

#include "model/module1.h"

#include <array>
#include <cstdint>
#include <string>

namespace relm::verify {

enum class Motion : std::uint8_t { Standing = 0, Running = 1, Braking = 2 };

// What the abstract controller holds for one train.
struct ModelTrain
{
    std::array<std::uint8_t, 4> reg{0x80, 0x80, 0x80, 0x80}; // own, behind, next, after next
    std::uint8_t place = 0;
    Motion motion = Motion::Standing;
    bool held = false;        // stopped at the far boundary, register 2 not where the track leads
    std::int8_t thrown = -1;  // the point thrown for its passage, -1 none

    bool present() const { return (reg[0] & 0x80) == 0; }
};

// Operator slider levels that the rules tell apart: standstill, caution speed exactly, and above.
inline constexpr std::array<std::int16_t, 3> kSliderLevels{0, 48, 128};

struct World
{
    Module1 console;
    std::array<ModelTrain, kTrainCount> trains{};
    std::array<bool, 2> pointThrown{}; // points A and B: false normal, true diverging
    std::uint8_t phase = 0; // periods mod 4: heads above 48 move on even ones, others on 0 only
    bool stopPending = false; // Reset pressed: TrainCmd(0) holds the stop until the next tick
    bool halted = false;      // the stop command reached the controller: the cycle is over
};

// A state stored in the table: 3 × 13 bytes of trains and one byte of the rest, in 5 words.
struct PackedState
{
    std::array<std::uint64_t, 5> words{};
    bool operator==(const PackedState &) const = default;
};

// The sizes that fix the abstraction; part of every state's meaning.
struct ModelShape
{
    int bins = 6; // steps inside a section; the head moves at most one step per period
    int sliderLevels = 3; // how many of kSliderLevels the operator uses (2: 0 and 128 only)
};

PackedState pack(const World &w);
World unpack(const PackedState &s);

// The one stored form of a state and its mirror images. Routes 2 and 3 are loops with no point:
// nothing in the rules or the controller tells one section of such a loop from another, or one
// running direction from the other, so while every present train is on one of them the same
// state turned round the loop (8 ways) or mirrored (sections i and -i, the direction flipped)
// behaves the same. Of those 16 the smallest packed form is kept. Other states pack as they are.
PackedState canonical(const World &w);

// Index of a slider speed in kSliderLevels; -1 if it is none of them.
int sliderLevelIndex(std::int16_t speed);

// A line for a report: every train's console codes and controller registers.
std::string describe(const World &w, const ModelShape &shape);

std::uint64_t hashState(const PackedState &s);

} // namespace relm::verify
