#pragma once

// Whether the controller's reports can be believed, and whether the trains make progress.
//
// Status frames carry no checksum, and the line beside motors and boosters flips bits, loses
// bytes and repeats frames. After the initialisation frame a train can only stay where it is,
// run into the next section the console reserved for it, or turn round as a reversal the console
// sent tells it to. The watch compares every status frame with that:
//
//   another section  a present train reported anywhere else (own, behind or next section)
//   appeared         an absent train reported on the layout
//   vanished         a present train reported absent
//   shared           one section reported for two trains (own or behind)
//   cut block        a block that is not a whole number of 24-byte frames: a frame cut short or
//                    joined to part of another. It is shown and never decoded.
//
// An implausible record is not decoded: the train's tables keep their last plausible values, on
// which every safety decision goes on being made. The train is held at target speed 0, and so is
// every train whose next two sections include a section the report names (the train may really
// be there); no point route is set into such a section either. A held train runs again once
// plausible reports have come for the confirmation time. The same implausible positions reported
// unchanged for the adoption time are the controller's truth (a damaged frame really placed the
// train elsewhere, or lost its placing): they are taken over if they are a possible place (behind
// and next one section either side of own, or across a point; or all three absent), and the train
// is released after a further confirmation time. Positions a damaged frame left half written, and a
// section reported for two trains, are never taken over: once the train stands, its registers 0 to
// 3 are written again with the positions the console believes, as a reversal writes them, and the
// train runs again once the reports agree.
//
// A train that creeps (reported at 1, under the standstill speed, and no slower than in its last
// report) does not stand for a reversal: a damaged frame left it a speed register above 0. A
// reversal that is ready to go out with the next tick is withdrawn when a believed report before
// that tick shows the train running or creeping: it waits until the train stands again.
//
// No report at all for the silence time (three status intervals, at least 500 ms) holds every
// train the same way. A held train is not turned round until it is released: the frame that
// stopped it may have been lost with its reports. A train sent speed worth more than two
// sections of the layout without leaving its section is reported as making no progress (stuck
// or derailed); that is only shown.
//
// The console calls the status event below on every receive notification and afterTick() with
// the bytes of every tick; `now` is any monotonic clock. What the window does with the results:
//   windowCaption     when set, Form1's caption: "RELM", "RELM - 在線異常" (a train held on
//                     doubtful reports), "RELM - 報告途絶" (no reports) or "RELM - 進行なし" (a
//                     train stuck). The window's own "RELM - 通信断" goes first while the line
//                     is lost.
//   trains[t]         caption and colour applied to Label2(t) as with every status frame:
//                     "在線異常" or "報告途絶" on light magenta while the train is held,
//                     "進行なし" on its usual colour while it makes no progress.
//   notices           one line each for the traffic monitor and the log, e.g.
//                     "在線異常 (別区間): X 報告 09 15 0B, 確認済み 09 0A 0B; 停止 X" (sections
//                     behind, own, next as reported and as last believed; the trains held).
// With a clean line none of this ever happens.

#include "link/receive_timing.h"
#include "link/status_event.h"
#include "link/supervision.h"
#include "model/core_text.h"
#include "model/module1.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace relm {

using WatchClock = std::chrono::milliseconds; // any monotonic time, e.g. since start-up

// Main window captions (Form1) and row captions of the watch.
inline constexpr const char *kCaptionNormal = "RELM";
inline constexpr const char *kCaptionImplausible =
    RELM_TEXT_NOOP("ReportWatch", "RELM - 在線異常"); // a train held
inline constexpr const char *kCaptionSilent =
    RELM_TEXT_NOOP("ReportWatch", "RELM - 報告途絶"); // no reports
inline constexpr const char *kCaptionNoProgress =
    RELM_TEXT_NOOP("ReportWatch", "RELM - 進行なし"); // a train stuck
inline constexpr const char *kRowImplausible = RELM_TEXT_NOOP("ReportWatch", "在線異常");
inline constexpr const char *kRowSilent = RELM_TEXT_NOOP("ReportWatch", "報告途絶");
inline constexpr const char *kRowNoProgress = RELM_TEXT_NOOP("ReportWatch", "進行なし");
// Label2 background of a train the watch holds (light magenta, 0x00BBGGRR).
inline constexpr std::uint32_t kStatusHeld = 0xFF80FF;

enum class Implausible { AnotherSection, Appeared, Vanished, Shared, CutBlock };
inline constexpr int kImplausibleKinds = 5;

const char *implausibleName(Implausible kind); // English, for reports and logs of tools

struct WatchSettings
{
    WatchClock confirm{300};    // plausible reports before a held train runs again
    WatchClock adopt{1000};     // the same implausible positions for this long are the truth
    WatchClock minSilence{500}; // silence limit: three status intervals, at least this
    // The layout's figures for the progress check.
    double sectionLengthMm = 1000.0;
    double topSpeedMmPerS = 250.0; // at speed 128
    double stuckSections = 2.0;    // sent speed worth this many sections without progress
    int stuckMinSpeed = 10;        // slower commands do not count (motors may not turn)
};

// Everything the watch counted since it was made; no count grows on a clean line.
struct WatchCounts
{
    std::array<std::uint64_t, kImplausibleKinds> implausible{}; // reports (train records) by kind
    std::uint64_t implausibleFrames = 0;  // decodable frames with at least one implausible record
    std::uint64_t holds = 0;              // a train went from running to held
    std::uint64_t adoptions = 0;          // implausible positions taken over as the truth
    std::uint64_t silences = 0;           // times the reports stopped for the silence limit
    std::uint64_t noProgress = 0;         // trains reported as making no progress
    std::uint64_t reversalsWithdrawn = 0; // a ready reversal met a report of the train running
    std::uint64_t putBack = 0; // trains the controller misplaced, sent back to where they are
};

// What the window shows after a command tick, when the watch has something to say.
struct WatchTickView
{
    std::optional<std::string> windowCaption;  // Form1's caption, when it changes
    std::vector<std::string> notices;          // lines for the traffic monitor and the log
    std::array<TrainView, kTrainCount> trains; // caption and colour only
};

class ReportWatch final
{
public:
    explicit ReportWatch(WatchSettings settings = {})
        : m_settings(settings)
    {}

    const WatchSettings &settings() const { return m_settings; }
    const WatchCounts &counts() const { return m_counts; }
    bool held(int t) const { return m_trains[static_cast<std::size_t>(t)].held; }
    bool noProgress(int t) const { return m_trains[static_cast<std::size_t>(t)].stuck; }

    // Whether train t, believed reported at `speed`, creeps: above 0 and no slower than in its
    // last believed report.
    bool creeps(int t, int speed) const;

    // After every command tick, with the bytes it sent: learns what the controller was told
    // (the initialisation frame starts afresh), counts the distance the sent speeds are worth,
    // and holds every train when the reports have stopped.
    WatchTickView afterTick(Module1 &m, std::span<const std::uint8_t> sent, WatchClock now);

private:
    friend StatusView statusEvent(Module1 &m, ReportWatch &watch,
                                  std::span<const std::uint8_t> block, BarFrame frame,
                                  WatchClock now);

    struct Verdict
    {
        TrainFlags implausible{}; // records not to decode
        TrainFlags adopt{};       // implausible records to decode all the same
        TrainFlags putBack{};     // the controller holds the train where it cannot be
        std::array<bool, 32> doubtfulSections{}; // own and behind of the doubted records
    };
    Verdict check(const Module1 &m, std::span<const std::uint8_t> frame, WatchClock now);
    // A reversal waiting for the tick was computed on a report of the train standing; a later
    // believed report of it running means the controller holds a speed the console never sent
    // (a damaged frame), and the reversal waits for the train to stand again.
    void withdrawReversals(Module1 &m, const TrainFlags &wasReady, const FrameReading &reading,
                           std::span<const std::uint8_t> frame);
    // Writes the believed positions of train t back to the controller with the next tick.
    void putBack(Module1 &m, int t, std::span<const std::uint8_t> frame);
    // After the passes: holds, progress, what to show.
    void finish(Module1 &m, std::span<const std::uint8_t> frame, const Verdict &v,
                const TrainFlags &moved, WatchClock now, StatusView &view);
    void cutBlock(std::size_t bytes, StatusView &view);
    // The length of the controller's status frames, learnt from the blocks: 24 bytes, three whole
    // records, unless the controller sends blocks of exactly 23 again and again (the last record
    // without its unused byte), which a lost byte in 24-byte frames never does.
    std::size_t frameBytes(std::size_t block);

    // A register value the console sent, remembered for a few reports: a report may show it
    // once the controller has taken it, and one in flight may still show the value before.
    struct Told
    {
        std::int16_t value = 0;
        int reportsLeft = 0;
    };
    static constexpr std::size_t kToldKept = 4;
    using ToldList = std::array<Told, kToldKept>;
    // Registers 0 to 3 of a reversal the console sent.
    struct ToldReversal
    {
        std::int16_t own = 0;
        std::int16_t behind = 0;
        std::int16_t next = 0;
        std::int16_t after = 0;
        int reportsLeft = 0;
    };

    struct TrainWatch
    {
        bool held = false;
        bool doubted = false; // held again by the report being handled
        const char *holdCaption = kRowImplausible;
        std::optional<WatchClock> plausibleSince; // first plausible report since the last doubt
        std::array<std::uint8_t, 3> candidate{};  // implausible own, behind, next
        std::optional<WatchClock> candidateSince;
        std::int16_t lastNext = 0;                  // next section as last reported and believed
        ToldList toldNext{};                        // register 2 values sent
        ToldList toldAfter{};                       // register 3 values sent
        std::array<ToldReversal, 2> toldReversal{}; // newest first
        int sentSpeed = 0;
        double runMm = 0.0; // distance the sent speed is worth since the train last moved
        bool stuck = false;
        bool puttingBack = false; // its believed registers wait in RevCode for the next tick
        int lastSpeed = 0;        // reported in its last believed record
    };

    static void remember(ToldList &list, std::int16_t value);
    static bool told(const ToldList &list, int value);
    static void age(ToldList &list);
    std::optional<Implausible> judge(const Module1 &m, int t,
                                     std::span<const std::uint8_t> record) const;
    void restart(const Module1 &m, WatchClock now);
    void hold(int t, const char *caption);
    WatchClock silenceLimit() const;
    void showCaption(std::optional<std::string> &caption);

    WatchSettings m_settings;
    WatchCounts m_counts;
    std::array<TrainWatch, kTrainCount> m_trains{};
    std::optional<WatchClock> m_lastReport;
    std::optional<WatchClock> m_lastTick;
    std::optional<WatchClock> m_shortestInterval; // between two decoded reports since the start
    bool m_silent = false;
    std::size_t m_frameBytes = kWholeFrameBytes;
    int m_shortBlocksInARow = 0;            // blocks of exactly 23 bytes, one after another
    std::string m_caption = kCaptionNormal; // as last handed to the window
    std::vector<std::string> m_notices;     // gathered for the next view
};

// The status event with the watch: as statusEvent, and in addition a block that is not a whole
// number of frames is never decoded, an implausible record never acts, held trains get target
// speed 0, and the view carries what the watch wants shown. `now` is the time of the read.
StatusView statusEvent(Module1 &m, ReportWatch &watch, std::span<const std::uint8_t> block,
                       BarFrame frame, WatchClock now);

} // namespace relm
