#pragma once

// Faults on the serial line between the console and the controller, for the soak and relm-sim:
// a flipped bit in a byte, a byte lost, a whole frame sent twice, and outages in which every byte
// in both directions is lost. Rates are per byte on the line: a frame of n bytes goes out twice
// with a chance of about n times the duplication rate. Outages start at random times with a
// given mean spacing and last a fixed time. With no fault configured the line is perfect and
// its generator is never drawn from, so a run without faults is the run it always was.
//
// Written as comma-separated settings, e.g. "bit=1e-5,drop=1e-5,dup=1e-6,outage=1/3600:2s":
//   bit=P, drop=P, dup=P   chance per byte
//   outage=N/S:L          N outages per S seconds on average, each L long in whole
//                         milliseconds ("2s", "300ms")
//   dir=both|status|commands   which frames suffer: status frames, the console's frames, or both
//   seed=N                 the faults' own seed
// A bare rate "P" stands for bit=P,drop=P,dup=P.

#include "sim/seeded_random.h"
#include "sim/sim_time.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relm::sim {

enum class LineDirection { ToController, ToConsole };

struct FaultSettings
{
    double bit = 0.0;  // chance per byte that one of its eight bits flips
    double drop = 0.0; // chance per byte that it is lost
    double dup = 0.0;  // chance per byte that the frame carrying it is sent twice
    double outages = 0.0;       // outages per outagePeriod on average
    double outagePeriod = 0.0;  // seconds
    Duration outageLength{};    // whole milliseconds
    bool toController = true; // the console's frames suffer
    bool toConsole = true;    // the controller's status frames suffer
    std::optional<std::uint64_t> seed;

    bool any() const;
    double outagesPerSecond() const { return outagePeriod > 0.0 ? outages / outagePeriod : 0.0; }
};

struct FaultSettingsParse
{
    FaultSettings settings;
    std::string error; // empty when the text was understood
};

FaultSettingsParse parseFaultSettings(std::string_view text);

// The settings in the written form, every rate spelt out: "bit=1e-05,drop=1e-05,dup=1e-05".
// It reads back as the same settings.
std::string describe(const FaultSettings &settings);

// What the faults did to one direction of the line.
struct FaultCounts
{
    std::uint64_t bytes = 0;       // bytes that left the line
    std::uint64_t frames = 0;      // frames written
    std::uint64_t bitErrors = 0;   // bytes with a flipped bit
    std::uint64_t dropped = 0;     // bytes lost one by one
    std::uint64_t duplicated = 0;  // frames sent twice
    std::uint64_t outageBytes = 0; // bytes lost in outages

    std::uint64_t damaged() const { return bitErrors + dropped + duplicated + outageBytes; }
};

class LineFaults final
{
public:
    // `seed` is used unless the settings name their own.
    LineFaults(FaultSettings settings, std::uint64_t seed);

    const FaultSettings &settings() const { return m_settings; }

    // How many times a frame of `bytes` bytes written now goes out: 1, or 2 when duplicated.
    int copies(LineDirection d, std::size_t bytes);

    // Turns the bytes that left the line at `at` into what reaches the far end.
    void damage(LineDirection d, Time at, std::vector<std::uint8_t> &bytes);

    const FaultCounts &counts(LineDirection d) const { return m_counts[index(d)]; }
    std::uint64_t outages() const { return m_outages; } // outages begun so far

private:
    // Bytes to let through before the next fault of one kind in one direction.
    struct Countdown
    {
        double rate = 0.0;
        std::uint64_t left = 0;
    };
    enum Kind { kBit, kDrop, kDup, kKinds };

    static std::size_t index(LineDirection d) { return d == LineDirection::ToController ? 0 : 1; }
    bool suffers(LineDirection d) const;
    std::uint64_t gap(double rate);
    bool fires(Countdown &c, std::uint64_t bytes);
    bool inOutage(Time at);
    Duration outageSpacing();

    FaultSettings m_settings;
    SeededRandom m_random;
    std::array<std::array<Countdown, kKinds>, 2> m_countdown{};
    std::array<FaultCounts, 2> m_counts{};
    Time m_outageStart{};
    Time m_outageEnd{};
    bool m_outageCounted = false;
    std::uint64_t m_outages = 0;
};

} // namespace relm::sim
