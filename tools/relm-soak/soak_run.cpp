#include "soak_run.h"

#include "initial_positions.h"

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "link/command_tick.h"
#include "link/download_frame.h"
#include "link/register_frames.h"
#include "link/status_event.h"
#include "model/section_code.h"
#include "sim/program_image.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace relm {

namespace {

using namespace std::chrono_literals;

constexpr sim::Duration kMillisecond = 1ms;
constexpr int kDownloadStartMs = 1000;
constexpr int kSliderMaximum = 128;
constexpr BarFrame kBarFrame{1575, 1920}; // Shape2 in the main window's layout

constexpr int kSectionLengthMm = 1000;
constexpr int kTopSpeedMmPerS = 250;

// The program image the soak downloads: the sample layout's physics and a 100 ms status.
std::vector<std::uint8_t> soakImage()
{
    const std::array<sim::ImageParameter, 5> params{{
        {sim::ImageKey::StatusIntervalMs, 100},
        {sim::ImageKey::SectionLengthMm, kSectionLengthMm},
        {sim::ImageKey::TopSpeedMmPerS, kTopSpeedMmPerS},
        {sim::ImageKey::AccelerationPerS, 40},
        {sim::ImageKey::BrakingPerS, 128},
    }};
    return sim::buildImage(params, "relm-soak");
}

sim::Time nextMillisecond(sim::Time t)
{
    return sim::Time{(t.count() / kMillisecond.count() + 1) * kMillisecond.count()};
}

// The console's report watch judges progress by the layout's figures, as the image sets them.
WatchSettings forTheLayout(WatchSettings settings)
{
    settings.sectionLengthMm = kSectionLengthMm;
    settings.topSpeedMmPerS = kTopSpeedMmPerS;
    return settings;
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("relm-soak: cannot write " + path);
}

} // namespace

std::uint64_t SoakStats::operatorActions() const
{
    std::uint64_t n = 0;
    for (const std::uint64_t a : actions)
        n += a;
    return n;
}

SoakRun::SoakRun(SoakConfig config)
    : m_config(std::move(config))
    , m_random(m_config.seed)
    , m_operator(m_config.habits)
    , m_trace(m_config.traceLines)
    , m_image(soakImage())
    , m_faults(m_config.faults, m_config.seed)
    , m_watch(forTheLayout(m_config.watchSettings))
    , m_port(m_config.receive)
{
    m_controller.setFrameObserver([this](const sim::RegisterFrame &f) { frameApplied(f); });
    setStartColours(m_module);
    m_lastHead.fill(0x80);
    // The operator starts operation a moment after the console is up.
    m_transferAt = sim::Time{500ms};
    m_actionAt = sim::Time{1s} + m_operator.pause(m_random);
}

void SoakRun::run()
{
    runUntil(sim::Time{m_config.length});
}

void SoakRun::runUntil(sim::Time until)
{
    const sim::Time end = std::min(until, sim::Time{m_config.length});
    while (m_now < end) {
        advanceTo(nextEvent(end));
        handleDue();
    }
    m_stats.simulated = m_now;
}

sim::Time SoakRun::nextEvent(sim::Time end) const
{
    // The controller moves its trains and sends status in whole milliseconds.
    sim::Time next = std::min(end, nextMillisecond(m_now));
    const auto consider = [&](std::optional<sim::Time> t) {
        if (t && *t > m_now)
            next = std::min(next, *t);
    };
    consider(m_toController.nextArrival());
    consider(m_toConsole.nextArrival());
    consider(m_port.readAt());
    consider(m_transferAt);
    consider(m_actionAt);
    if (m_timerEnabled)
        consider(m_tickAt);
    return next;
}

void SoakRun::advanceTo(sim::Time t)
{
    m_controller.step(t - m_now);
    m_now = t;
    const std::vector<std::uint8_t> produced = m_controller.takeOutput();
    m_stats.statusFrames += produced.size() / sim::kStatusFrameBytes;
    sendStatus(produced);
    watchController();
}

void SoakRun::handleDue()
{
    const std::vector<std::uint8_t> toController = m_toController.arrived(m_now);
    if (!toController.empty()) {
        deliverToController(toController);
        watchController();
    }

    m_port.arrive(m_now, arrivedAtConsole());
    if (m_port.readAt() && *m_port.readAt() <= m_now)
        onComm();

    if (m_downloading && m_toController.waiting() == 0)
        finishTransfer();
    if (m_timerEnabled && m_tickAt <= m_now)
        onTick();
    if (m_transferAt && *m_transferAt <= m_now) {
        m_transferAt.reset();
        pressTransfer();
    }
    if (m_actionAt <= m_now) {
        operatorActs();
        m_actionAt = m_now + std::max(m_operator.pause(m_random), kMillisecond);
    }
}

void SoakRun::frameTakesEffect(const Outgoing &frame)
{
    if (frame.kind == FrameKind::Init && m_controller.state() == sim::ProgramState::Running) {
        // Not a safety fault: the frame still places the trains apart, only not where atc.ini
        // put them (a status frame that was on the line when the download ended replaced them).
        for (const auto &replaced : positionsReplaced(frame.bytes, m_loadedOwn)) {
            ++m_stats.positionsReplaced;
            addNote(replaced.second);
        }
    }
    if (frame.kind != FrameKind::Command)
        return;
    const LayoutTruth truth = truthOf(m_controller);
    const bool running = m_controller.state() == sim::ProgramState::Running;
    for (const FrameFinding &f : checkCommandFrame(frame.bytes, truth)) {
        // A halted controller applies nothing; what the frame asks for never happens.
        if (running)
            addViolation(f.kind, f.detail, {f.train});
    }
    if (!running)
        return;
    const std::size_t pairs = frame.bytes[1];
    for (std::size_t k = 0; k < pairs; ++k) {
        const int address = frame.bytes[2 + 2 * k];
        const int value = frame.bytes[3 + 2 * k];
        if (address % kRegistersPerTrain == kRegPosition0)
            ++m_stats.reversalsCompleted;
        if (address % kRegistersPerTrain == kRegCommand && value == kCmdSetPoint)
            ++m_stats.pointsArmed;
    }
}

void SoakRun::watchController()
{
    const auto &events = m_controller.safety().events();
    for (; m_safetySeen < events.size(); ++m_safetySeen) {
        const sim::SafetyEvent &e = events[m_safetySeen];
        switch (e.kind) {
        case sim::SafetyKind::SharedSection:
            addViolation(ViolationKind::SharedSection, sim::describe(e), {e.train, e.other});
            break;
        case sim::SafetyKind::EnteredOccupied:
            addViolation(ViolationKind::EnteredOccupied, sim::describe(e), {e.train, e.other});
            break;
        case sim::SafetyKind::RouteFault:
            // Never on a perfect line: a damaged frame gave the controller a wrong next section.
            m_tainted[static_cast<std::size_t>(e.train)] = true;
            ++m_stats.trainsHeld;
            m_trace.add(m_now, "controller: " + sim::describe(e));
            break;
        }
    }
    for (int t = 0; t < kTrainCount; ++t) {
        const std::uint8_t head = m_controller.train(t).reg(0);
        auto &last = m_lastHead[static_cast<std::size_t>(t)];
        if (head != last && (head & kAbsentFlag) == 0 && (last & kAbsentFlag) == 0
            && sim::travelCode(head) != (sim::travelCode(last) ^ kReverseFlag))
            ++m_stats.sectionsEntered;
        last = head;
    }
}

void SoakRun::onComm()
{
    const std::vector<std::uint8_t> block = m_port.readAll();
    ++m_stats.reads;
    const std::uint64_t doubted = m_watch.counts().implausibleFrames;
    const StatusView view = m_config.watch
                                ? statusEvent(m_module, m_watch, block, kBarFrame, watchClock())
                                : statusEvent(m_module, block, kBarFrame);
    if (view.decoded)
        ++m_stats.decoded;
    for (const TrainView &row : view.trains)
        m_stats.pointsCompleted += row.resetPointButton ? 1 : 0;
    m_trace.add(m_now, std::string("console <- ") + hexBytes(block)
                           + (view.decoded ? "" : "  (not decoded)"));
    if (m_watch.counts().implausibleFrames != doubted && block.size() >= kWholeFrameBytes &&
        std::any_of(m_statusSent.begin(), m_statusSent.end(), [&block](const auto &sent) {
            return std::equal(sent.begin(), sent.end(), block.begin());
        })) {
        ++m_stats.doubtedUndamaged;
        addNote("the console doubted a status frame that arrived as the controller sent it");
    }
    showWatch(view.windowCaption, view.notices);
}

void SoakRun::showWatch(const std::optional<std::string> &caption,
                        const std::vector<std::string> &notices)
{
    for (const std::string &line : notices)
        m_trace.add(m_now, "console shows: " + line);
    if (caption)
        m_trace.add(m_now, "console caption: " + *caption);
    recordFirstAlarms();
}

void SoakRun::recordFirstAlarms()
{
    const WatchCounts &now = m_watch.counts();
    const auto first = [this](std::uint64_t &seen, std::uint64_t count, const std::string &what) {
        if (seen == 0 && count > 0)
            m_firstAlarms.push_back({ViolationKind::SharedSection, m_now, what, m_trace.lines()});
        seen = count;
    };
    for (int k = 0; k < kImplausibleKinds; ++k) {
        first(m_alarmsSeen.implausible[static_cast<std::size_t>(k)],
              now.implausible[static_cast<std::size_t>(k)],
              std::string("implausible report: ") + implausibleName(static_cast<Implausible>(k)));
    }
    first(m_alarmsSeen.adoptions, now.adoptions, "positions taken over");
    first(m_alarmsSeen.silences, now.silences, "reports silent");
    first(m_alarmsSeen.noProgress, now.noProgress, "train making no progress");
    first(m_alarmsSeen.reversalsWithdrawn, now.reversalsWithdrawn, "reversal withdrawn");
    first(m_alarmsSeen.putBack, now.putBack, "misplaced train put back");
}

WatchClock SoakRun::watchClock() const
{
    return std::chrono::duration_cast<WatchClock>(m_now);
}

void SoakRun::onTick()
{
    const bool initialising = m_module.InitSent == kFalse;
    const TickResult r = commandTick(m_module, false);
    if (initialising)
        ++m_stats.initFrames;
    else
        ++m_stats.commandFrames;
    if (m_config.watch) {
        const WatchTickView view = m_watch.afterTick(m_module, r.bytes, watchClock());
        showWatch(view.windowCaption, view.notices);
    }
    write(initialising ? FrameKind::Init : FrameKind::Command, r.bytes);
    if (r.intervalMs)
        m_intervalMs = *r.intervalMs;
    m_tickAt = m_now + sim::Duration{std::chrono::milliseconds(m_intervalMs)};
    if (!r.timerEnabled)
        m_timerEnabled = false;
}

void SoakRun::operatorActs()
{
    const OperatorStep step = m_operator.choose(m_random, m_resetEnabled);
    if (step.action == OperatorAction::Transfer) {
        pressTransfer(); // counted there, as is the Transfer that follows a Reset
        return;
    }
    ++m_stats.actions[static_cast<std::size_t>(step.action)];
    m_trace.add(m_now, describe(step));
    const int t = step.train;
    switch (step.action) {
    case OperatorAction::Slider:
        sliderMoved(m_module, t, kSliderMaximum, step.sliderPosition);
        break;
    case OperatorAction::Stop:
        stopPressed(m_module, t);
        break;
    case OperatorAction::Point:
        pointPressed(m_module, t);
        break;
    case OperatorAction::Reverse:
        reversePressed(m_module, t);
        break;
    case OperatorAction::Reset:
        resetPressed(m_module);
        m_transferEnabled = true;
        m_resetEnabled = false;
        m_transferAt = m_now + m_operator.transferDelay(m_random);
        break;
    case OperatorAction::Transfer:
        break;
    }
}

void SoakRun::pressTransfer()
{
    if (!m_transferEnabled || m_downloading)
        return;
    ++m_stats.actions[static_cast<std::size_t>(OperatorAction::Transfer)];
    m_trace.add(m_now, "operator: transfer");
    // The Transfer steps of the console: the start positions are read and checked first, a stop
    // left by Reset goes out before the download, and the trains are placed after it.
    const IniValueArray values = trainsApart(m_random);
    writeFile(m_config.iniPath, formatIni(values));
    const StartPositionsCheck check = readStartPositions(m_config.iniPath);
    if (!check.result.ok())
        throw std::runtime_error("relm-soak: atc.ini was refused: " + check.result.message);
    std::string placed = "console: atc.ini";
    for (const std::int32_t v : values)
        placed += " " + std::to_string(v);
    m_trace.add(m_now, placed);
    DownloadBuild build = buildDownloadFrame(m_image);
    if (!build.accepted)
        throw std::runtime_error("relm-soak: the program image was refused: " + build.refusal);
    m_downloading = true;
    m_transferEnabled = false;
    m_timerEnabled = false; // no tick left over from Reset follows the download
    m_startPositions = check.positions;
    write(FrameKind::Command, takePendingStop(m_module));
    ++m_stats.downloads;
    write(FrameKind::Download, std::move(build.frame));
}

void SoakRun::finishTransfer()
{
    m_downloading = false;
    if (m_controller.state() == sim::ProgramState::Halted) {
        // A stop frame that reached the controller after the download.
        ++m_stats.haltedAfterTransfer;
        addNote("controller halted again by a stop frame sent during the download");
    }
    startCycle(m_module, m_startPositions);
    m_loadedOwn = m_module.PosCode0;
    m_intervalMs = kDownloadStartMs;
    m_tickAt = m_now + sim::Duration{std::chrono::milliseconds(kDownloadStartMs)};
    m_timerEnabled = true;
    m_resetEnabled = true;
}

void SoakRun::addNote(const std::string &what)
{
    constexpr std::size_t kKeptNotes = 10;
    m_trace.add(m_now, "note: " + what);
    if (m_notes.size() < kKeptNotes)
        m_notes.push_back(sim::formatTime(m_now) + " " + what);
}

void SoakRun::addViolation(ViolationKind kind, const std::string &what,
                           std::initializer_list<int> trains)
{
    // A controller acting on an altered frame, or missing one, is not the console's doing; such
    // violations are still violations, and counted apart as well.
    constexpr sim::Duration kAfterDamage = std::chrono::seconds(5);
    const bool tainted = std::any_of(trains.begin(), trains.end(), [this](int t) {
        return t >= 0 && t < kTrainCount && m_tainted[static_cast<std::size_t>(t)];
    });
    if (tainted || (m_commandDamagedAt && m_now - *m_commandDamagedAt <= kAfterDamage))
        ++m_stats.violationsAfterDamagedCommand;
    ++m_stats.violations;
    ++m_stats.violationsByKind[static_cast<std::size_t>(kind)];
    m_trace.add(m_now, std::string("VIOLATION ") + violationName(kind) + ": " + what);
    if (m_stats.violationsByKind[static_cast<std::size_t>(kind)] <= m_config.keptPerKind)
        m_violations.push_back({kind, m_now, what, m_trace.lines()});
}

} // namespace relm
