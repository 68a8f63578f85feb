#include "link/report_watch.h"

#include "link/register_frames.h"
#include "model/core_text.h"
#include "model/section_code.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace relm {

namespace {

// Decoded reports for which a register value the console sent stays expected. A report in
// flight when the frame left shows the value before; the next ones show the new value.
constexpr int kToldReports = 10;
constexpr int kSilenceIntervals = 3;

std::string trainName(int t)
{
    return std::string(1, static_cast<char>('X' + t));
}

std::string hex(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", v & 0xFF);
    return text;
}

// Behind, own and next, in the order of the status label: "09 0A 0B".
std::string sections(int own, int behind, int next)
{
    return hex(behind) + " " + hex(own) + " " + hex(next);
}

bool present(int code)
{
    return (code & kAbsentFlag) == 0;
}

// Whether own, behind and next section can be a train's registers at the controller: all three
// absent, or behind and next one place either side of own in its direction or across a point.
// Positions a damaged frame left half written are never believed, however often reported.
bool possiblePlace(const Module1 &m, int own, int behind, int next)
{
    if (!present(own))
        return !present(behind) && !present(next);
    constexpr int kNotASection = 0xC0; // the absent flag and the unused bit
    if (((own | behind | next) & kNotASection) != 0)
        return false;
    bool behindOk = behind == stepAhead(own, own, -1);
    bool nextOk = next == stepAhead(own, own, 1);
    constexpr int kSearchedEntries = 4;
    for (int e = 0; e < kSearchedEntries; ++e) {
        const PointRecord &r = m.PointTable[0][e];
        behindOk = behindOk || (r.NextCode == own && r.FromCode == behind);
        nextOk = nextOk || (r.FromCode == own && r.NextCode == next);
    }
    return behindOk && nextOk;
}

const char *kindText(Implausible kind)
{
    switch (kind) {
    case Implausible::AnotherSection:
        return RELM_TEXT_NOOP("ReportWatch", "別区間");
    case Implausible::Appeared:
        return RELM_TEXT_NOOP("ReportWatch", "出現");
    case Implausible::Vanished:
        return RELM_TEXT_NOOP("ReportWatch", "消失");
    case Implausible::Shared:
        return RELM_TEXT_NOOP("ReportWatch", "区間重複");
    case Implausible::CutBlock:
        return RELM_TEXT_NOOP("ReportWatch", "受信異常");
    }
    return "?";
}

} // namespace

const char *implausibleName(Implausible kind)
{
    switch (kind) {
    case Implausible::AnotherSection:
        return "another section";
    case Implausible::Appeared:
        return "appeared";
    case Implausible::Vanished:
        return "vanished";
    case Implausible::Shared:
        return "shared section";
    case Implausible::CutBlock:
        return "cut block";
    }
    return "?";
}

void ReportWatch::remember(ToldList &list, std::int16_t value)
{
    for (Told &t : list) {
        if (t.reportsLeft > 0 && t.value == value) {
            t.reportsLeft = kToldReports;
            return;
        }
    }
    // The slot that has waited longest gives way.
    Told *slot = std::min_element(list.begin(), list.end(), [](const Told &a, const Told &b) {
        return a.reportsLeft < b.reportsLeft;
    });
    *slot = {value, kToldReports};
}

bool ReportWatch::told(const ToldList &list, int value)
{
    return std::any_of(list.begin(), list.end(),
                       [value](const Told &t) { return t.reportsLeft > 0 && t.value == value; });
}

void ReportWatch::age(ToldList &list)
{
    for (Told &t : list)
        t.reportsLeft = std::max(0, t.reportsLeft - 1);
}

std::optional<Implausible> ReportWatch::judge(const Module1 &m, int t,
                                              std::span<const std::uint8_t> record) const
{
    const TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
    const int r0 = record[0];
    const int r1 = record[1];
    const int r2 = record[2];
    const int own = m.PosCode0[t];
    // The next section may be the one last reported, the one the console holds (an armed point
    // route), or one the console sent with a command or a reversal.
    const auto nextKnown = [&](int code) {
        return code == m.PosCode2[t] || code == w.lastNext || told(w.toldNext, code);
    };
    if (r0 == own && r1 == m.PosCode1[t] && nextKnown(r2))
        return std::nullopt; // stays
    // Turned round by a reversal the console sent. A train that stopped just after entering
    // its section has its head at the far end once turned, and may cross into the next section
    // at once.
    for (const ToldReversal &rev : w.toldReversal) {
        if (rev.reportsLeft == 0)
            continue;
        if (rev.own == r0 && rev.behind == r1 && nextKnown(r2))
            return std::nullopt;
        if (rev.next == r0 && rev.own == r1 && (rev.after == r2 || told(w.toldAfter, r2)))
            return std::nullopt;
    }
    if (!present(own))
        return present(r0) ? Implausible::Appeared : Implausible::AnotherSection;
    if (!present(r0))
        return Implausible::Vanished;
    // Into the next section: the old own section is behind, and the section after the next,
    // which the console sends every tick, has become the next.
    if (nextKnown(r0) && r1 == own && (r2 == m.PosCode3[t] || told(w.toldAfter, r2)))
        return std::nullopt;
    return Implausible::AnotherSection;
}

void ReportWatch::hold(int t, const char *caption)
{
    TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
    if (!w.held)
        ++m_counts.holds;
    w.held = true;
    w.holdCaption = caption;
    w.doubted = true;
    w.plausibleSince.reset();
}

ReportWatch::Verdict ReportWatch::check(const Module1 &m, std::span<const std::uint8_t> frame,
                                        WatchClock now)
{
    std::array<std::optional<Implausible>, kTrainCount> kind{};
    const auto record = [frame](int t) {
        return frame.subspan(static_cast<std::size_t>(kStatusRecordBytes * t), 3);
    };
    for (int t = 0; t < kTrainCount; ++t) {
        m_trains[static_cast<std::size_t>(t)].doubted = false;
        kind[static_cast<std::size_t>(t)] = judge(m, t, record(t));
    }
    // Own and behind sections of two present trains never meet while the console keeps them
    // apart.
    for (int i = 0; i < kTrainCount; ++i) {
        for (int j = i + 1; j < kTrainCount; ++j) {
            bool meet = false;
            for (const int a : {record(i)[0], record(i)[1]}) {
                for (const int b : {record(j)[0], record(j)[1]}) {
                    meet = meet || (present(record(i)[0]) && present(record(j)[0]) && present(a) &&
                                    present(b) && sectionNumber(a) == sectionNumber(b));
                }
            }
            if (meet)
                kind[static_cast<std::size_t>(i)] = kind[static_cast<std::size_t>(j)] =
                    Implausible::Shared;
        }
    }

    Verdict v;
    bool any = false;
    for (int t = 0; t < kTrainCount; ++t) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
        const auto r = record(t);
        if (!kind[static_cast<std::size_t>(t)]) {
            w.candidateSince.reset();
            continue;
        }
        const Implausible k = *kind[static_cast<std::size_t>(t)];
        any = true;
        ++m_counts.implausible[static_cast<std::size_t>(k)];
        v.implausible[t] = true;
        const std::array<std::uint8_t, 3> seen{r[0], r[1], r[2]};
        if (!w.candidateSince || w.candidate != seen) {
            w.candidate = seen;
            w.candidateSince = now;
        }
        std::string line =
            fillIn(coreText("ReportWatch", "在線異常 (%1): %2 報告 %3, 確認済み %4; 停止 %5"),
                   {coreText("ReportWatch", kindText(k)), trainName(t), sections(r[0], r[1], r[2]),
                    sections(m.PosCode0[t], m.PosCode1[t], m.PosCode2[t]), trainName(t)});
        hold(t, kRowImplausible);
        for (const int named : {int{r[0]}, int{r[1]}}) {
            if (present(r[0]) && present(named))
                v.doubtfulSections[static_cast<std::size_t>(sectionNumber(named))] = true;
        }
        // The report may be true: a train heading into a section it names is held as well.
        for (const int j : otherTrains(t)) {
            bool heading = false;
            for (const int named : {int{r[0]}, int{r[1]}}) {
                for (const int ahead : {m.PosCode2[j], m.PosCode3[j]}) {
                    heading = heading || (present(named) && present(m.PosCode0[j]) &&
                                          sectionNumber(named) == sectionNumber(ahead));
                }
            }
            if (heading) {
                hold(j, kRowImplausible);
                line += std::string(", ") + trainName(j);
            }
        }
        m_notices.push_back(line);
        if (now - *w.candidateSince < m_settings.adopt)
            continue;
        w.candidateSince.reset();
        if (k != Implausible::Shared && possiblePlace(m, r[0], r[1], r[2])) {
            v.adopt[t] = true;
            ++m_counts.adoptions;
            m_notices.push_back(fillIn(coreText("ReportWatch", "在線異常: %1 の報告 %2 を採用"),
                                       {trainName(t), sections(r[0], r[1], r[2])}));
        } else {
            v.putBack[t] = true;
        }
    }
    if (any)
        ++m_counts.implausibleFrames;
    return v;
}

void ReportWatch::putBack(Module1 &m, int t, std::span<const std::uint8_t> frame)
{
    // Only a train that stands and is told to stand, with no reversal of the operator's under
    // way; otherwise it is tried again after a further adoption time.
    const int reportedSpeed = frame[static_cast<std::size_t>(kStatusRecordBytes * t + 5)];
    if (!present(m.PosCode0[t]) || !m_trains[static_cast<std::size_t>(t)].held ||
        m.RevState[t] != kRevIdle || m.OutSpeed[t] != 0 || reportedSpeed >= kStandstillSpeed)
        return;
    m.RevCode0[t] = m.PosCode0[t];
    m.RevCode1[t] = m.PosCode1[t];
    m.RevCode2[t] = m.PosCode2[t];
    m.RevCode3[t] = m.PosCode3[t];
    m.RevState[t] = kRevReady;
    m_trains[static_cast<std::size_t>(t)].puttingBack = true;
    ++m_counts.putBack;
    m_notices.push_back(
        fillIn(coreText("ReportWatch", "在線異常: %1 を確認済み %2 に戻す"),
               {trainName(t), sections(m.PosCode0[t], m.PosCode1[t], m.PosCode2[t])}));
}

bool ReportWatch::creeps(int t, int speed) const
{
    return speed > 0 && speed >= m_trains[static_cast<std::size_t>(t)].lastSpeed;
}

void ReportWatch::withdrawReversals(Module1 &m, const TrainFlags &wasReady,
                                    const FrameReading &reading,
                                    std::span<const std::uint8_t> frame)
{
    for (int t = 0; t < kTrainCount; ++t) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
        if (w.puttingBack && m.RevState[t] == kRevReady &&
            frame[static_cast<std::size_t>(kStatusRecordBytes * t + 5)] > 0) {
            // Its records are doubted, but it moves: it is put back once it stands again.
            // Never the operator's reversal.
            w.puttingBack = false;
            m.RevState[t] = kRevIdle;
            continue;
        }
        if (reading.unreported[t])
            continue;
        // Running, or creeping at a speed below the standstill speed that does not fall: the
        // controller holds a speed register above 0, although every frame carried 0.
        const int speed = reading.actualSpeed[t];
        const bool runs = speed >= kStandstillSpeed || creeps(t, speed);
        w.lastSpeed = speed;
        if (!wasReady[t] || m.RevState[t] != kRevReady || !runs)
            continue;
        if (w.puttingBack) {
            w.puttingBack = false;
            m.RevState[t] = kRevIdle;
            continue;
        }
        m.RevState[t] = kRevStopping;
        ++m_counts.reversalsWithdrawn;
        m_notices.push_back(
            fillIn(coreText("ReportWatch", "逆転保留: %1 速度 %2 で走行中の報告; 停止を待って逆転"),
                   {trainName(t), std::to_string(reading.actualSpeed[t])}));
    }
}

void ReportWatch::finish(Module1 &m, std::span<const std::uint8_t> frame, const Verdict &v,
                         const TrainFlags &moved, WatchClock now, StatusView &view)
{
    if (m_lastReport && now > *m_lastReport) {
        const WatchClock interval = now - *m_lastReport;
        m_shortestInterval = std::min(m_shortestInterval.value_or(interval), interval);
    }
    m_lastReport = now;
    if (m_silent) {
        m_silent = false;
        m_notices.push_back(coreText("ReportWatch", "報告途絶 解除"));
    }
    for (int t = 0; t < kTrainCount; ++t) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
        age(w.toldNext);
        age(w.toldAfter);
        for (ToldReversal &rev : w.toldReversal)
            rev.reportsLeft = std::max(0, rev.reportsLeft - 1);
        const bool decoded = !v.implausible[t] || v.adopt[t];
        if (v.putBack[t])
            putBack(m, t, frame);
        if (decoded)
            w.lastNext = frame[static_cast<std::size_t>(kStatusRecordBytes * t + 2)];
        if (decoded && moved[t]) {
            w.runMm = 0.0;
            if (w.stuck) {
                w.stuck = false;
                m_notices.push_back(
                    fillIn(coreText("ReportWatch", "進行なし 解除: %1"), {trainName(t)}));
            }
        }
        if (w.held && !w.doubted) {
            if (!w.plausibleSince) {
                w.plausibleSince = now;
            } else if (now - *w.plausibleSince >= m_settings.confirm) {
                w.held = false;
                m_notices.push_back(fillIn(coreText("ReportWatch", "%1 解除: %2"),
                                           {coreText("ReportWatch", w.holdCaption), trainName(t)}));
            }
        }
        TrainView &row = view.trains[t];
        if (w.held) {
            m.TargetSpeed[t] = 0;
            row.caption = coreText("ReportWatch", w.holdCaption);
            row.colour = kStatusHeld;
            if (!decoded) {
                row.barHeight.reset(); // nothing believable about its speed either
                row.barTop.reset();
            }
        } else if (w.stuck) {
            row.caption = coreText("ReportWatch", kRowNoProgress);
        }
    }
    view.notices = std::exchange(m_notices, {});
    showCaption(view.windowCaption);
}

std::size_t ReportWatch::frameBytes(std::size_t block)
{
    constexpr int kShortBlocksToLearn = 3;
    if (m_frameBytes == kStatusFrameBytes)
        return m_frameBytes;
    m_shortBlocksInARow = block == kStatusFrameBytes ? m_shortBlocksInARow + 1 : 0;
    if (m_shortBlocksInARow >= kShortBlocksToLearn) {
        m_frameBytes = kStatusFrameBytes;
        m_notices.push_back(coreText(
            "ReportWatch", "受信: 制御装置の状態フレームは 23 バイト; 以後 23 バイトずつ解読"));
    }
    return m_frameBytes;
}

void ReportWatch::cutBlock(std::size_t bytes, StatusView &view)
{
    ++m_counts.implausible[static_cast<std::size_t>(Implausible::CutBlock)];
    view.notices = std::exchange(m_notices, {});
    view.notices.push_back(
        fillIn(coreText("ReportWatch", "%1: %2 バイト (%3 バイトの倍数でない) 不採用"),
               {coreText("ReportWatch", kindText(Implausible::CutBlock)), std::to_string(bytes),
                std::to_string(m_frameBytes)}));
}

void ReportWatch::restart(const Module1 &m, WatchClock now)
{
    for (int t = 0; t < kTrainCount; ++t) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
        w = TrainWatch{};
        w.lastNext = m.PosCode2[t];
    }
    m_lastReport = now;
    m_lastTick = now;
    m_shortestInterval.reset();
    m_silent = false;
}

WatchClock ReportWatch::silenceLimit() const
{
    const WatchClock intervals = m_shortestInterval.value_or(WatchClock{0}) * kSilenceIntervals;
    return std::max(m_settings.minSilence, intervals);
}

void ReportWatch::showCaption(std::optional<std::string> &caption)
{
    const bool held =
        std::any_of(m_trains.begin(), m_trains.end(), [](const TrainWatch &w) { return w.held; });
    const bool stuck =
        std::any_of(m_trains.begin(), m_trains.end(), [](const TrainWatch &w) { return w.stuck; });
    const char *now = m_silent ? kCaptionSilent
                      : held   ? kCaptionImplausible
                      : stuck  ? kCaptionNoProgress
                               : kCaptionNormal;
    if (m_caption != now) {
        m_caption = now;
        caption = coreText("ReportWatch", now);
    }
}

WatchTickView ReportWatch::afterTick(Module1 &m, std::span<const std::uint8_t> sent, WatchClock now)
{
    WatchTickView view;
    std::vector<RegisterWrite> pairs = registerWrites(sent);
    std::erase_if(pairs, [](const RegisterWrite &p) { return p.train >= kTrainCount; });
    // Only the initialisation frame sets positions without speeds.
    const bool init = !pairs.empty() &&
                      std::none_of(pairs.begin(), pairs.end(),
                                   [](const RegisterWrite &p) { return p.offset == kRegSpeed; });
    if (init) {
        restart(m, now);
        showCaption(view.windowCaption);
        return view;
    }

    // The distance the speeds in force since the last tick are worth.
    const double seconds =
        m_lastTick ? std::chrono::duration<double>(now - *m_lastTick).count() : 0.0;
    m_lastTick = now;
    const double limitMm = m_settings.stuckSections * m_settings.sectionLengthMm;
    for (int t = 0; t < kTrainCount; ++t) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(t)];
        if (!present(m.PosCode0[t]) || w.sentSpeed < m_settings.stuckMinSpeed)
            continue;
        w.runMm += w.sentSpeed / 128.0 * m_settings.topSpeedMmPerS * seconds;
        if (w.runMm > limitMm && !w.stuck) {
            w.stuck = true;
            ++m_counts.noProgress;
            m_notices.push_back(fillIn(
                coreText("ReportWatch", "進行なし: %1 速度 %2 で %3 から進まず (脱線・停止の恐れ)"),
                {trainName(t), std::to_string(w.sentSpeed), hex(m.PosCode0[t])}));
            if (!w.held)
                view.trains[t].caption = coreText("ReportWatch", kRowNoProgress);
        }
    }

    std::array<ToldReversal, kTrainCount> reversal{};
    for (const RegisterWrite &p : pairs) {
        TrainWatch &w = m_trains[static_cast<std::size_t>(p.train)];
        ToldReversal &rev = reversal[static_cast<std::size_t>(p.train)];
        const auto value = static_cast<std::int16_t>(p.value);
        switch (p.offset) {
        case kRegPosition0:
            rev.own = value;
            w.puttingBack = false;
            break;
        case kRegPosition1:
            rev.behind = value;
            rev.reportsLeft = kToldReports;
            break;
        case kRegPosition2:
            rev.next = value;
            remember(w.toldNext, value);
            break;
        case kRegPosition3:
            rev.after = value;
            remember(w.toldAfter, value);
            break;
        case kRegSpeed:
            w.sentSpeed = value;
            break;
        default:
            break;
        }
    }
    for (int t = 0; t < kTrainCount; ++t) {
        if (reversal[static_cast<std::size_t>(t)].reportsLeft == 0)
            continue;
        auto &kept = m_trains[static_cast<std::size_t>(t)].toldReversal;
        std::rotate(kept.rbegin(), kept.rbegin() + 1, kept.rend());
        kept[0] = reversal[static_cast<std::size_t>(t)];
    }

    if (!m_silent && m_lastReport && now - *m_lastReport >= silenceLimit()) {
        m_silent = true;
        ++m_counts.silences;
        std::string line = fillIn(coreText("ReportWatch", "報告途絶: %1 ms 報告なし; 停止"),
                                  {std::to_string((now - *m_lastReport).count())});
        for (int t = 0; t < kTrainCount; ++t) {
            if (!present(m.PosCode0[t]))
                continue;
            hold(t, kRowSilent);
            line += std::string(" ") + trainName(t);
            view.trains[t].caption = coreText("ReportWatch", kRowSilent);
            view.trains[t].colour = kStatusHeld;
        }
        m_notices.push_back(line);
    }
    for (int t = 0; t < kTrainCount; ++t) {
        if (m_trains[static_cast<std::size_t>(t)].held)
            m.TargetSpeed[t] = 0;
    }
    view.notices = std::exchange(m_notices, {});
    showCaption(view.windowCaption);
    return view;
}

} // namespace relm
