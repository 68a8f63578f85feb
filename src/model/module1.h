#pragma once

// The console's shared train state. Data flow:
//   status frames  -> link/status_event (decode, point pass, status pass, reversal pass)
//                  -> Module1 tables
//   Module1 tables -> link/command_tick (ramp, commands, reversals) -> register frames
//   operator input (sliders, buttons, atc.ini) -> Module1 tables
// One instance is owned by the application and handed to everyone by reference.

#include <array>
#include <cstdint>

namespace relm {

inline constexpr int kTrainCount = 3;

// One transition of a point: where the train must stand, and the next two sections it gets.
struct PointRecord
{
    std::int16_t FromCode = 0;  // the train's PosCode0 for this transition to apply
    std::int16_t NextCode = 0;  // becomes PosCode2 when the route is set
    std::int16_t AfterCode = 0; // becomes PosCode3; reaching it finishes the passage
};

inline constexpr int kPointCount = 11;
inline constexpr int kPointEntries = 5;
using PointTableType = std::array<std::array<PointRecord, kPointEntries>, kPointCount>;

// Per-train tables and scalars shared by every handler. All values start at 0.
// Four-entry tables use entries 0..2 only; entry 3 exists but is never read or written.
struct Module1
{
    using Table4 = std::array<std::int16_t, 4>;
    using Table3 = std::array<std::int16_t, 3>;

    Table4 PosCode0{};     // section the train is in
    Table4 PosCode1{};     // section behind
    Table4 PosCode2{};     // next section, reserved for the train
    Table4 PosCode3{};     // section after the next
    Table4 RevCode0{};     // register 0 to send with a reversal
    Table4 RevCode1{};     // register 1 to send with a reversal
    Table4 RevCode2{};     // register 2 to send with a reversal
    Table4 RevCode3{};     // register 3 to send with a reversal
    Table4 TargetSpeed{};  // where the ramp heads, 0..128
    Table4 OutSpeed{};     // ramped speed sent as register 4
    Table4 SliderSpeed{};  // speed the operator asks for, 0..128
    Table4 StatusAux{};    // byte 6 of the train's last status record (stored only)
    Table4 TrainCmd{};     // one-shot command for register 7: 0, 0x20, 0x30 or 255
    Table3 RevState{};     // reversal: 0 idle, 1 requested, 2 stopping, 3 ready to send
    Table3 PointReq{};     // point request: 1 requested, 0 none
    Table4 PointArmed{};   // flag: route set, AfterCode not yet reached
    Table4 PointBlocked{}; // flag: requested route found occupied

    std::int16_t InitSent = 0; // flag: initialisation frame sent since start or download

    std::array<std::int32_t, kTrainCount> TrainColour{}; // map colours X, Y, Z (0x00BBGGRR)
    std::int32_t MapBackColour = 0;                      // map colour of a free section

    PointTableType PointTable{}; // point transitions; only point 0, entries 0..3 are filled
};

// Flag values of the 16-bit flag tables.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// TrainCmd values.
inline constexpr std::int16_t kCmdNone = 0;
inline constexpr std::int16_t kCmdPointPassed = 0x20;
inline constexpr std::int16_t kCmdSetPoint = 0x30;
inline constexpr std::int16_t kCmdStop = 255;

// RevState values.
inline constexpr std::int16_t kRevIdle = 0;
inline constexpr std::int16_t kRevRequested = 1;
inline constexpr std::int16_t kRevStopping = 2; // seen by a status frame; the train is being stopped
inline constexpr std::int16_t kRevReady = 3;    // reversed registers computed, waiting to be sent

// Start-up colours (0x00BBGGRR).
inline constexpr std::int32_t kColourRed = 0x0000FF;
inline constexpr std::int32_t kColourGreen = 0x00FF00;
inline constexpr std::int32_t kColourBlue = 0xFF0000;
inline constexpr std::int32_t kMapBackColour = 0xFFFFC0;

// Sets the map colours as start-up does: X red, Y green, Z blue, free sections pale cyan.
void setStartColours(Module1 &m);

// Fills the point table as it stands after every initialisation frame: point 0, entries 0..3.
void fillPointTable(Module1 &m);

} // namespace relm
