#pragma once

// The safety soak: the console's own core (command tick, status event, operator commands,
// Transfer steps, download frame) coupled to the simulated controller in virtual time, with both
// directions of the serial line paced at 960 bytes per second. A seeded operator drives it.
// Every frame the console sends is checked against the controller's view of the layout as it
// takes effect there, and the controller's safety watch is read after every step.

#include "console_port.h"
#include "paced_line.h"
#include "random_operator.h"
#include "soak_checks.h"
#include "soak_trace.h"

#include "console/transfer.h"
#include "link/report_watch.h"
#include "model/module1.h"
#include "sim/controller.h"
#include "sim/line_faults.h"
#include "sim/seeded_random.h"

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace relm {

struct SoakConfig
{
    std::uint64_t seed = 1;
    sim::Duration length{std::chrono::minutes(5)};
    ReceiveTiming receive; // when the console's port hands a block to the status handler
    std::string iniPath = "atc.ini"; // written before every Transfer, then loaded
    std::size_t traceLines = 60;
    std::size_t keptPerKind = 5; // violations of each kind recorded with their trace; all are counted
    OperatorHabits habits;
    sim::FaultSettings faults; // none by default: a perfect line
    bool watch = true;     // the console watches the reports (off: as it was before the watch)
    WatchSettings watchSettings;
};

struct Violation
{
    ViolationKind kind = ViolationKind::SharedSection;
    sim::Time at{};
    std::string what;
    std::vector<std::string> trace; // the lines before it, oldest first
};

struct SoakStats
{
    sim::Time simulated{};
    std::uint64_t initFrames = 0;    // initialisation frames sent
    std::uint64_t commandFrames = 0; // command frames sent
    std::uint64_t downloads = 0;     // download frames sent
    std::uint64_t statusFrames = 0;  // status frames the controller sent
    std::uint64_t reads = 0;         // receive notifications handled by the console
    std::uint64_t decoded = 0;       // of which were decoded (a whole frame, after the init frame)
    std::array<std::uint64_t, kOperatorActionKinds> actions{};
    std::uint64_t pointsArmed = 0;     // point commands 0x30 sent
    std::uint64_t pointsCompleted = 0; // point requests finished at AfterCode
    std::uint64_t reversalsCompleted = 0; // reversed registers that reached the controller
    std::uint64_t sectionsEntered = 0;    // moves of a train into its next section
    std::uint64_t trainsHeld = 0;      // the controller held a train: register 2 off the track
    std::uint64_t haltedAfterTransfer = 0; // a stop queued behind a download halted the layout
    std::uint64_t positionsReplaced = 0; // loaded positions not in the initialisation frame
    std::uint64_t violations = 0;
    std::array<std::uint64_t, kViolationKinds> violationsByKind{};
    // Register frames the controller received that the console never sent (the line altered
    // them), and frames the console sent that never reached it whole. Violations within a few
    // seconds after the line damaged a byte on its way to the controller, or involving a train
    // whose position registers a damaged frame set or whose route it broke since it was placed,
    // are counted apart as well: the controller acted on something the console never said, or
    // missed what it said.
    std::uint64_t alteredFrames = 0;
    std::uint64_t lostFrames = 0;
    std::uint64_t violationsAfterDamagedCommand = 0;
    // Frames the watch doubted although they arrived as the controller sent them: false alarms,
    // unless an altered command frame really moved a train.
    std::uint64_t doubtedUndamaged = 0;

    std::uint64_t operatorActions() const;
};

class SoakRun final
{
public:
    explicit SoakRun(SoakConfig config);
    SoakRun(const SoakRun &) = delete;
    SoakRun &operator=(const SoakRun &) = delete;

    // Runs the whole configured length.
    void run();
    // Runs until `until` (virtual time since the start) or the configured end.
    void runUntil(sim::Time until);

    const SoakStats &stats() const { return m_stats; }
    const std::vector<Violation> &violations() const { return m_violations; }
    // The first alarm of each kind the console's report watch raised, with the frames before it.
    const std::vector<Violation> &firstAlarms() const { return m_firstAlarms; }
    // Events worth a look that break no safety rule, with their time (the first few).
    const std::vector<std::string> &notes() const { return m_notes; }
    const SoakConfig &config() const { return m_config; }
    const sim::Controller &controller() const { return m_controller; }
    const sim::LineFaults &faults() const { return m_faults; }
    const ReportWatch &watch() const { return m_watch; }
    const Module1 &module() const { return m_module; }
    sim::Time now() const { return m_now; }

private:
    enum class FrameKind { Init, Command, Download };
    struct Outgoing
    {
        FrameKind kind;
        std::vector<std::uint8_t> bytes;
        std::size_t delivered = 0;
        bool repeat = false; // the line's second copy of a frame: nothing the console decided
    };

    sim::Time nextEvent(sim::Time end) const;
    void advanceTo(sim::Time t);
    void handleDue();
    void write(FrameKind kind, std::vector<std::uint8_t> bytes);
    void deliverToController(std::span<const std::uint8_t> bytes);
    void receiveAtController(std::span<const std::uint8_t> bytes);
    void frameApplied(const sim::RegisterFrame &frame);
    void sendStatus(std::span<const std::uint8_t> produced);
    std::vector<std::uint8_t> arrivedAtConsole();
    // What reaches the far end of bytes that leave the line now, with a trace of any damage.
    std::vector<std::uint8_t> throughLine(sim::LineDirection d,
                                          std::span<const std::uint8_t> sent);
    void frameTakesEffect(const Outgoing &frame);
    void watchController();
    void onComm();
    void showWatch(const std::optional<std::string> &caption,
                   const std::vector<std::string> &notices);
    WatchClock watchClock() const;
    void onTick();
    void operatorActs();
    void pressTransfer();
    void finishTransfer();
    void addViolation(ViolationKind kind, const std::string &what,
                      std::initializer_list<int> trains);
    void addNote(const std::string &what);
    void recordFirstAlarms();

    SoakConfig m_config;
    sim::SeededRandom m_random;
    RandomOperator m_operator;
    SoakTrace m_trace;
    SoakStats m_stats;
    std::vector<Violation> m_violations;
    std::vector<Violation> m_firstAlarms; // `what` names the alarm; kind is unused
    WatchCounts m_alarmsSeen;
    std::vector<std::string> m_notes;

    // The controller side.
    sim::Controller m_controller;
    std::vector<std::uint8_t> m_image;
    std::size_t m_safetySeen = 0;
    std::array<std::uint8_t, kTrainCount> m_lastHead{};

    // The line.
    PacedLine m_toController;
    PacedLine m_toConsole;
    std::deque<Outgoing> m_outgoing;
    sim::LineFaults m_faults;
    std::deque<std::vector<std::uint8_t>> m_registerFramesSent; // not yet seen at the controller
    std::optional<sim::Time> m_commandDamagedAt; // when the line last damaged the console's bytes
    std::array<bool, 2> m_lineDown{};            // in an outage: to the controller, to the console
    std::array<bool, kTrainCount> m_tainted{};   // registers set by a damaged frame since placed
    std::deque<std::vector<std::uint8_t>> m_statusSent; // the controller's latest status frames

    // The console side.
    Module1 m_module;
    ReportWatch m_watch;
    ConsolePort m_port;
    bool m_timerEnabled = false;
    int m_intervalMs = 200;
    sim::Time m_tickAt{};
    bool m_transferEnabled = true;
    bool m_resetEnabled = false;
    bool m_downloading = false;
    std::optional<sim::Time> m_transferAt;
    StartPositions m_startPositions; // checked at Transfer, placed once the download has left
    Module1::Table4 m_loadedOwn{};   // PosCode0 as the last Transfer placed it
    sim::Time m_actionAt{};
    sim::Time m_now{};
};

} // namespace relm
