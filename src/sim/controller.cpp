#include "sim/controller.h"

#include "sim/frame_text.h"
#include "sim/program_image.h"

#include "model/section_code.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace relm::sim {

namespace {

constexpr std::uint8_t kAbsent = 0x80;

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

std::string pointName(int p)
{
    return p == 0 ? "A" : "B";
}

double seconds(Duration d)
{
    return static_cast<double>(d.count()) / 1e6;
}

} // namespace

int TrainState::reportedSpeed() const
{
    if (!present())
        return 0;
    return std::clamp(static_cast<int>(std::lround(speed)), 0, kFullSpeed);
}

Controller::Controller(ControllerConfig config)
    : m_config(config)
    , m_parser(config.gapTimeout)
    , m_statusInterval(config.statusInterval.value_or(kDefaultStatusInterval))
{
    for (TrainState &t : m_trains)
        std::fill_n(t.registers.begin(), 4, kAbsent);
}

void Controller::receive(std::span<const std::uint8_t> bytes)
{
    m_stats.bytesIn += bytes.size();
    std::vector<ParserEvent> events;
    m_parser.feed(bytes, m_now, events);
    handle(events);
}

void Controller::step(Duration dt)
{
    if (dt.count() <= 0)
        return;
    const Time end = m_now + dt;
    // Physics runs in fixed ticks, so the result does not depend on how the caller slices time.
    while (m_ticked + kPhysicsTick <= end) {
        m_ticked += kPhysicsTick;
        m_now = m_ticked;
        tick(m_ticked);
    }
    m_now = end;
}

std::vector<std::uint8_t> Controller::takeOutput()
{
    return std::exchange(m_output, {});
}

std::array<std::uint8_t, kStatusFrameBytes> Controller::statusFrame() const
{
    std::array<std::uint8_t, kStatusFrameBytes> frame{};
    for (int t = 0; t < kTrains; ++t) {
        const TrainState &s = train(t);
        const auto at = static_cast<std::size_t>(t * kStatusRecordBytes);
        for (int k = 0; k < 5; ++k)
            frame[at + static_cast<std::size_t>(k)] = s.reg(k);
        frame[at + 5] = static_cast<std::uint8_t>(s.reportedSpeed());
        std::uint8_t aux = 0;
        if (s.present()) {
            aux |= m_watch.sharing(t) ? kAuxSharing : 0;
            aux |= s.thrownPoint >= 0 ? kAuxPointThrown : 0;
            aux |= s.held ? kAuxHeld : 0;
        }
        frame[at + 6] = aux;
        frame[at + 7] = 0;
    }
    return frame;
}

void Controller::handle(std::vector<ParserEvent> &events)
{
    for (ParserEvent &e : events) {
        if (auto *f = std::get_if<RegisterFrame>(&e))
            onRegisterFrame(*f);
        else if (auto *d = std::get_if<DownloadFrame>(&e))
            onDownload(*d);
        else
            onMalformed(std::get<MalformedInput>(e));
    }
    events.clear();
}

void Controller::onMalformed(const MalformedInput &m)
{
    switch (m.fault) {
    case Fault::CountOverLimit:
        ++m_stats.countOverLimit;
        break;
    case Fault::AddressOverLimit:
        ++m_stats.addressOverLimit;
        break;
    case Fault::Truncated:
        ++m_stats.truncated;
        break;
    case Fault::StrayBytes:
        ++m_stats.strayRuns;
        m_stats.strayBytes += m.bytes;
        break;
    case Fault::BadDownload:
        ++m_stats.badDownloads;
        break;
    }
    log(std::string("malformed input (") + faultName(m.fault) + "): " + m.detail + ", " +
        std::to_string(m.bytes) + " bytes dropped");
}

void Controller::onDownload(const DownloadFrame &d)
{
    const ImageInfo info = readImage(d.image, m_config.statusInterval);
    char sum[16];
    std::snprintf(sum, sizeof sum, "%08X", crc32(d.image));
    const bool restart = m_state != ProgramState::Listening;
    log(std::string("program image received: ") + std::to_string(d.image.size()) +
        " bytes, CRC-32 " + sum + (info.title.empty() ? "" : ", \"" + info.title + "\"") +
        (restart ? "; program restarted" : "; program started"));
    for (const std::string &note : info.notes)
        log("program image: " + note);
    ++m_stats.downloads;

    m_physics = info.physics;
    m_statusInterval = info.statusInterval;
    for (TrainState &t : m_trains) {
        t = TrainState{};
        std::fill_n(t.registers.begin(), 4, kAbsent);
    }
    m_layout.resetPoints();
    m_watch.reset();
    m_state = ProgramState::Running;
    m_warnedIgnoring = false;
    m_reporting = false;
}

void Controller::onRegisterFrame(const RegisterFrame &f)
{
    trace("in  " + describeRegisterFrame(f));
    if (m_frameObserver)
        m_frameObserver(f);
    if (m_state != ProgramState::Running) {
        ++m_stats.framesIgnored;
        if (!m_warnedIgnoring) {
            log("register frames ignored: no program is running (waiting for a download)");
            m_warnedIgnoring = true;
        }
        return;
    }
    ++m_stats.framesIn;
    if (!m_reporting) {
        m_reporting = true;
        m_nextStatus = m_ticked + m_statusInterval;
    }
    for (const RegisterPair &p : f.pairs) {
        writeRegister(p.address / kRegistersPerTrain, p.address % kRegistersPerTrain, p.value);
        if (m_state != ProgramState::Running)
            return; // the stop command halts the program mid-frame
    }
    watch(-1);
}

void Controller::writeRegister(int t, int offset, std::uint8_t value)
{
    TrainState &s = m_trains.at(static_cast<std::size_t>(t));
    const std::uint8_t oldOwn = s.reg(0);
    const std::uint8_t oldBehind = s.reg(1);
    s.registers.at(static_cast<std::size_t>(offset)) = value;
    if (offset == 0)
        placeTrain(t, oldOwn, oldBehind, value);
    else if (offset == 7)
        runCommand(t, value);
}

void Controller::placeTrain(int t, std::uint8_t oldOwn, std::uint8_t oldBehind, std::uint8_t newOwn)
{
    TrainState &s = m_trains.at(static_cast<std::size_t>(t));
    const bool wasPresent = (oldOwn & kAbsent) == 0;
    const double length = m_physics.sectionLengthMm;
    if ((newOwn & kAbsent) != 0) {
        if (wasPresent)
            log(std::string("train ") + trainName(t) + " taken off the layout");
        s.speed = 0.0;
        s.positionMm = 0.0;
        s.held = false;
        return;
    }
    const int now = travelCode(newOwn);
    if (wasPresent && now == travelCode(oldOwn))
        return; // the same section written again
    s.held = false;
    if (wasPresent &&
        (now == (travelCode(oldOwn) ^ kReverseFlag) ||
         ((oldBehind & kAbsent) == 0 && now == (travelCode(oldBehind) ^ kReverseFlag)))) {
        // Reversal: the tail becomes the head, the head's distance is mirrored.
        s.positionMm = length - s.positionMm;
        trace(std::string("train ") + trainName(t) + " reversed, head in " + hexByte(newOwn));
        return;
    }
    s.positionMm = length / 2.0;
    if (!wasPresent)
        s.speed = 0.0;
    log(std::string("train ") + trainName(t) + " placed in section " + hexByte(newOwn));
}

void Controller::runCommand(int t, std::uint8_t command)
{
    TrainState &s = m_trains.at(static_cast<std::size_t>(t));
    const std::string who = std::string("train ") + trainName(t);
    switch (command) {
    case 0:
        return;
    case kCommandStop:
        if (t != 0)
            break;
        ++m_stats.stopCommands;
        for (TrainState &each : m_trains)
            each.speed = 0.0;
        m_state = ProgramState::Halted;
        log("stop command: every train stopped, program halted until the next download");
        return;
    case kCommandPoint: {
        const PointConnection *c = s.present() ? connectionAt(s.reg(0)) : nullptr;
        if (c != nullptr && c->diverging == travelCode(s.reg(2))) {
            m_layout.setPoint(c->point, PointState::Diverging);
            s.thrownPoint = c->point;
            log("point " + pointName(c->point) + " thrown for " + who + ": " + hexByte(s.reg(0)) +
                " -> " + hexByte(s.reg(2)));
            return;
        }
        if (c != nullptr && plainStepAhead(s.reg(0)) == travelCode(s.reg(2))) {
            m_layout.setPoint(c->point, PointState::Normal);
            log("point " + pointName(c->point) + " set straight for " + who);
            return;
        }
        ++m_stats.badCommands;
        log(who + ": point command 30 but no point leads from " + hexByte(s.reg(0)) + " to " +
            hexByte(s.reg(2)) + "; ignored");
        return;
    }
    case kCommandPointDone: {
        const int p = s.thrownPoint;
        s.thrownPoint = -1;
        if (p < 0) {
            trace(who + ": point passage ended, no point was thrown for it");
            return;
        }
        const bool stillUsed = std::any_of(m_trains.begin(), m_trains.end(),
                                           [p](const TrainState &o) { return o.thrownPoint == p; });
        if (!stillUsed)
            m_layout.setPoint(p, PointState::Normal);
        log("point " + pointName(p) + " passage of " + who + " ended" +
            (stillUsed ? "; point stays thrown for another train" : "; point back to normal"));
        return;
    }
    default:
        break;
    }
    ++m_stats.badCommands;
    log(who + ": unknown command " + hexByte(command) + " ignored");
}

void Controller::tick(Time at)
{
    std::vector<ParserEvent> events;
    m_parser.expire(at, events);
    handle(events);
    if (m_state != ProgramState::Running)
        return;
    for (int t = 0; t < kTrains; ++t)
        moveTrain(t, seconds(kPhysicsTick));
    if (m_reporting && at >= m_nextStatus) {
        const auto frame = statusFrame();
        m_output.insert(m_output.end(), frame.begin(), frame.end());
        ++m_stats.framesOut;
        trace("out " + describeStatusFrame(frame));
        m_nextStatus += m_statusInterval;
    }
}

void Controller::moveTrain(int t, double secs)
{
    TrainState &s = m_trains.at(static_cast<std::size_t>(t));
    if (!s.present())
        return;
    if (s.held && !crossBoundary(t))
        return;
    const double target = std::min<int>(s.reg(4), kFullSpeed);
    s.positionMm += runFor(s.speed, target, m_physics, secs);
    while (s.positionMm >= m_physics.sectionLengthMm) {
        if (!crossBoundary(t))
            return;
    }
}

bool Controller::crossBoundary(int t)
{
    TrainState &s = m_trains.at(static_cast<std::size_t>(t));
    const int ahead = m_layout.trackAhead(s.reg(0));
    if ((s.reg(2) & kAbsent) != 0 || travelCode(s.reg(2)) != ahead) {
        if (!s.held) {
            s.held = true;
            SafetyEvent e;
            e.at = m_now;
            e.kind = SafetyKind::RouteFault;
            e.section = sectionNumber(s.reg(0));
            e.train = t;
            e.wanted = s.reg(2);
            m_safetyLog.record(e);
            log("safety: " + describe(e));
        }
        s.speed = 0.0;
        s.positionMm = m_physics.sectionLengthMm;
        return false;
    }
    if (s.held)
        log(std::string("train ") + trainName(t) + " released: the way to " + hexByte(s.reg(2)) +
            " is open");
    s.held = false;
    const int oldOwn = s.reg(0);
    s.registers[1] = static_cast<std::uint8_t>(oldOwn);
    s.registers[0] = static_cast<std::uint8_t>(ahead);
    s.registers[2] = s.reg(3);
    s.registers[3] = static_cast<std::uint8_t>(stepAhead(ahead, s.reg(2), 1));
    s.positionMm = std::max(0.0, s.positionMm - m_physics.sectionLengthMm);
    trace(std::string("train ") + trainName(t) + " enters " + hexByte(s.reg(0)));
    watch(t);
    return true;
}

void Controller::watch(int mover)
{
    std::array<Cover, kTrains> covers{};
    for (int t = 0; t < kTrains; ++t) {
        const TrainState &s = train(t);
        Cover &c = covers[static_cast<std::size_t>(t)];
        c.present = s.present();
        c.head = sectionNumber(s.reg(0));
        c.tail = (s.reg(1) & kAbsent) != 0 ? -1 : sectionNumber(s.reg(1));
    }
    for (const SafetyEvent &e : m_watch.update(covers, mover, m_now)) {
        m_safetyLog.record(e);
        log("safety: " + describe(e));
    }
}

void Controller::log(const std::string &line) const
{
    if (m_log)
        m_log(m_now, line);
}

void Controller::trace(const std::string &line) const
{
    if (m_trace)
        m_trace(m_now, line);
}

} // namespace relm::sim
