#pragma once

// The simulated track controller. Data flow:
//   bytes from the console -> receive() -> FrameParser -> register writes, downloads
//   step(dt)               -> trains move, SafetyWatch, status frames -> takeOutput()
//
// Until a program image has been downloaded the controller only listens: register frames are
// counted and ignored and no status is sent. A download starts (or restarts) the program with
// every train absent; the console's initialisation frame then places the trains, and status
// frames start with it: a report before then would only tell the console that nothing is placed,
// and the console would take that over the positions it is about to send. The stop
// command 255 in train X's command register stops every train and halts the program until the
// next download.
//
// Each train has 14 registers at 14 * train + offset:
//   0 own section   1 section behind   2 next section   3 section after the next
//   4 speed 0..128 (larger values run at 128)           7 command: 0x30, 0x20, 255
// The head of a train runs through its own section; its tail is in the section behind. When
// the head leaves the section it enters register 2, register 0 moves to register 1, register 3
// moves to register 2, and register 3 becomes the plain next section beyond it until the console
// writes it. A train whose register 2 is not where the track leads is held at the end of its
// section, with its power cut, until register 2 or the points allow it on.
// A write to register 0 that names a new place puts the head in the middle of that section; a
// write that turns the train round (its section behind, or its own, with the direction flipped,
// as a reversal does) keeps the train where it stands with head and tail swapped.
// Point command 0x30 throws the point between registers 0 and 2 (or sets it straight when
// register 2 is the plain next section); 0x20 ends the passage and puts the point back.
//
// Status frame, every status interval: 24 bytes, one 8-byte record per train:
//   0 own   1 behind   2 next   3 register 3   4 speed register   5 speed the train runs at
//   6 auxiliary: bit 0 shares a section with another train, bit 1 point thrown for it,
//     bit 2 held at the end of its section   7 zero

#include "sim/frame_parser.h"
#include "sim/layout.h"
#include "sim/physics.h"
#include "sim/safety_watch.h"
#include "sim/sim_time.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace relm::sim {

inline constexpr int kRegistersPerTrain = 14;
inline constexpr int kStatusRecordBytes = 8;
inline constexpr int kStatusFrameBytes = kTrains * kStatusRecordBytes;
inline constexpr Duration kPhysicsTick{1000};

inline constexpr std::uint8_t kCommandPoint = 0x30;
inline constexpr std::uint8_t kCommandPointDone = 0x20;
inline constexpr std::uint8_t kCommandStop = 255;

inline constexpr std::uint8_t kAuxSharing = 0x01;
inline constexpr std::uint8_t kAuxPointThrown = 0x02;
inline constexpr std::uint8_t kAuxHeld = 0x04;

enum class ProgramState { Listening, Running, Halted };

struct ControllerConfig
{
    std::optional<Duration> statusInterval; // wins over the image's when set
    Duration gapTimeout = kDefaultGapTimeout;
};

// One train as the controller sees it.
struct TrainState
{
    std::array<std::uint8_t, kRegistersPerTrain> registers{};
    double positionMm = 0.0; // how far the head is into its own section, in running direction
    double speed = 0.0;      // speed units the train runs at, 0..128
    bool held = false;       // stopped at the end of its section, next section unreachable
    int thrownPoint = -1;    // the point it has thrown for its passage, -1 none

    bool present() const { return (registers[0] & 0x80) == 0; }
    std::uint8_t reg(int offset) const { return registers[static_cast<std::size_t>(offset)]; }
    int reportedSpeed() const;
};

struct Stats
{
    std::uint64_t bytesIn = 0;
    std::uint64_t framesIn = 0;      // register frames applied
    std::uint64_t framesIgnored = 0; // register frames while no program runs
    std::uint64_t framesOut = 0;     // status frames sent
    std::uint64_t downloads = 0;
    std::uint64_t countOverLimit = 0;
    std::uint64_t addressOverLimit = 0;
    std::uint64_t truncated = 0;
    std::uint64_t strayBytes = 0; // bytes, not events
    std::uint64_t badDownloads = 0;
    std::uint64_t badCommands = 0; // unknown command values, point commands without a point
    std::uint64_t stopCommands = 0;

    std::uint64_t strayRuns = 0; // runs of stray bytes

    // Malformed inputs; a run of stray bytes counts once.
    std::uint64_t malformed() const
    {
        return strayRuns + countOverLimit + addressOverLimit + truncated + badDownloads;
    }
};

// A track controller with three trains on the four-route layout, in virtual time.
class Controller
{
public:
    explicit Controller(ControllerConfig config = {});

    void setLog(LogSink sink) { m_log = std::move(sink); }
    // One decoded line per frame in each direction.
    void setTrace(LogSink sink) { m_trace = std::move(sink); }
    // Every whole register frame the parser delivers, applied or not, as it arrives.
    void setFrameObserver(std::function<void(const RegisterFrame &)> observer)
    {
        m_frameObserver = std::move(observer);
    }

    // Bytes from the console that arrive now.
    void receive(std::span<const std::uint8_t> bytes);

    // Advances virtual time: trains move, stalled frames expire, status frames are produced.
    void step(Duration dt);

    // Status bytes produced since the last call, in order.
    std::vector<std::uint8_t> takeOutput();

    Time now() const { return m_now; }
    ProgramState state() const { return m_state; }
    const Stats &stats() const { return m_stats; }
    const SafetyLog &safety() const { return m_safetyLog; }
    const TrainState &train(int t) const { return m_trains.at(static_cast<std::size_t>(t)); }
    const Layout &layout() const { return m_layout; }
    const Physics &physics() const { return m_physics; }
    Duration statusInterval() const { return m_statusInterval; }

    // The status frame as it would be sent now.
    std::array<std::uint8_t, kStatusFrameBytes> statusFrame() const;

private:
    void handle(std::vector<ParserEvent> &events);
    void onMalformed(const MalformedInput &m);
    void onDownload(const DownloadFrame &d);
    void onRegisterFrame(const RegisterFrame &f);
    void writeRegister(int train, int offset, std::uint8_t value);
    void placeTrain(int t, std::uint8_t oldOwn, std::uint8_t oldBehind, std::uint8_t newOwn);
    void runCommand(int t, std::uint8_t command);
    void tick(Time at);
    void moveTrain(int t, double seconds);
    bool crossBoundary(int t);
    void watch(int mover);
    void log(const std::string &line) const;
    void trace(const std::string &line) const;

    ControllerConfig m_config;
    FrameParser m_parser;
    Layout m_layout;
    Physics m_physics;
    SafetyWatch m_watch;
    SafetyLog m_safetyLog;
    Stats m_stats;
    std::array<TrainState, kTrains> m_trains{};
    ProgramState m_state = ProgramState::Listening;
    Duration m_statusInterval;
    Time m_now{};
    Time m_ticked{}; // virtual time up to which physics has run
    Time m_nextStatus{};
    std::vector<std::uint8_t> m_output;
    bool m_warnedIgnoring = false;
    bool m_reporting = false; // status frames flow: a register frame has come since the download
    LogSink m_log;
    LogSink m_trace;
    std::function<void(const RegisterFrame &)> m_frameObserver;
};

} // namespace relm::sim
