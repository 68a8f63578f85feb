#include "traffic/replay.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace relm {
namespace {

// How far ahead either list is searched for the point where the two meet again.
constexpr std::size_t kResyncFrames = 8;
// Frames longer than this are cut in the difference texts (a download frame is thousands).
constexpr std::size_t kTextBytes = 32;
// FF 06 and six (address, value) pairs.
constexpr std::size_t kCommonFrameBytes = 14;

std::string shortHex(const std::vector<std::uint8_t> &bytes)
{
    if (bytes.empty())
        return "(no bytes)";
    if (bytes.size() <= kTextBytes)
        return hexBytes(bytes);
    return hexBytes(std::span(bytes).first(kTextBytes)) + " ... (" + std::to_string(bytes.size()) +
           " bytes)";
}

std::size_t firstDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return static_cast<std::size_t>(ia - a.begin());
}

// A common command frame (the six base pairs only) that its neighbour in the same list repeats.
// Only such frames are absorbed as drift: a frame with a command or reversal is sent once, so
// a copy too many or too few of it is a real difference.
bool isSteadyRepeat(std::span<const TimedFrame> frames, std::size_t k)
{
    const std::vector<std::uint8_t> &b = frames[k].bytes;
    const bool common = b.size() == kCommonFrameBytes && b[0] == 0xFF && b[1] == 6;
    return common && ((k > 0 && frames[k - 1].bytes == b) ||
                      (k + 1 < frames.size() && frames[k + 1].bytes == b));
}

std::int64_t clampedMs(std::int64_t ms)
{
    return std::clamp<std::int64_t>(ms, 0, kMaxLogMs);
}

// Walks both lists once; holds the time offset between them and how far the sent list runs
// ahead (+) of or behind (-) the recording through absorbed repeats.
class Alignment
{
public:
    Alignment(std::span<const TimedFrame> recorded, std::span<const TimedFrame> sent,
              const ReplayOptions &options)
        : m_recorded(recorded)
        , m_sent(sent)
        , m_tolerance(clampedMs(options.toleranceMs))
    {
        if (options.alignFirstFrames && !recorded.empty() && !sent.empty())
            m_offset = clampedMs(sent.front().ms) - clampedMs(recorded.front().ms);
    }

    ReplayReport run()
    {
        while (true) {
            const bool recordedLeft = m_i < m_recorded.size();
            const bool sentLeft = m_j < m_sent.size();
            if (!recordedLeft && !(sentLeft && withinRecording(m_j)))
                break;
            if (!sentLeft) {
                missing(m_i++);
            } else if (!recordedLeft) {
                extra(m_j++);
            } else if (agree(m_i, m_j)) {
                ++m_report.matched;
                ++m_i;
                ++m_j;
            } else {
                resync();
            }
        }
        m_report.notCompared = m_sent.size() - m_j;
        return std::move(m_report);
    }

private:
    // Whether sent frame j lies within the recorded period; later ones are compared only while
    // recorded frames are left to pair them with.
    bool withinRecording(std::size_t j) const
    {
        return m_recorded.empty() ||
               clampedMs(m_sent[j].ms) - m_offset <= clampedMs(m_recorded.back().ms) + m_tolerance;
    }

    bool agree(std::size_t i, std::size_t j) const
    {
        return i < m_recorded.size() && j < m_sent.size() &&
               m_recorded[i].bytes == m_sent[j].bytes && std::llabs(lateness(i, j)) <= m_tolerance;
    }

    // How much later than recorded sent frame j goes out, in the current time base.
    std::int64_t lateness(std::size_t i, std::size_t j) const
    {
        return clampedMs(m_sent[j].ms) - m_offset - clampedMs(m_recorded[i].ms);
    }

    // Finds where the lists agree again within a few frames: the point that leaves the fewest
    // differences to report, and of those the nearest, preferring equal steps in both lists so
    // that one odd frame in a run of equal frames reads as changed, not as missing plus extra.
    void resync()
    {
        std::size_t bestDi = 0;
        std::size_t bestDj = 0;
        std::size_t bestReports = kNoFrame;
        for (std::size_t cost = 1; cost <= kResyncFrames && bestReports > 0; ++cost) {
            for (std::size_t skew = 0; skew <= cost && bestReports > 0; ++skew) {
                const std::size_t shorter = cost - skew;
                consider(shorter, cost, bestDi, bestDj, bestReports);
                if (skew > 0)
                    consider(cost, shorter, bestDi, bestDj, bestReports);
            }
        }
        if (bestReports == kNoFrame) {
            changed(m_i++, m_j++);
            return;
        }
        skip(bestDi, bestDj);
    }

    void consider(std::size_t di, std::size_t dj, std::size_t &bestDi, std::size_t &bestDj,
                  std::size_t &bestReports) const
    {
        if (!agree(m_i + di, m_j + dj))
            return;
        const std::size_t reports = reportsFor(di, dj);
        if (reports < bestReports) {
            bestDi = di;
            bestDj = dj;
            bestReports = reports;
        }
    }

    // How many differences skipping di recorded and dj sent frames would report.
    std::size_t reportsFor(std::size_t di, std::size_t dj) const
    {
        const std::size_t pairs = std::min(di, dj);
        std::size_t reports = pairs;
        int ahead = m_ahead;
        for (std::size_t k = pairs; k < di; ++k) {
            if (isSteadyRepeat(m_recorded, m_i + k) && ahead > -1)
                --ahead;
            else
                ++reports;
        }
        for (std::size_t k = pairs; k < dj; ++k) {
            if (isSteadyRepeat(m_sent, m_j + k) && ahead < 1)
                ++ahead;
            else
                ++reports;
        }
        return reports;
    }

    void skip(std::size_t di, std::size_t dj)
    {
        const std::size_t pairs = std::min(di, dj);
        for (std::size_t k = 0; k < pairs; ++k)
            changed(m_i + k, m_j + k);
        for (std::size_t k = pairs; k < di; ++k)
            missing(m_i + k);
        for (std::size_t k = pairs; k < dj; ++k)
            extra(m_j + k);
        m_i += di;
        m_j += dj;
    }

    std::string frameName(std::size_t i) const
    {
        return "frame #" + std::to_string(i + 1) + " at " + std::to_string(m_recorded[i].ms) +
               " ms";
    }

    void changed(std::size_t i, std::size_t j)
    {
        const TimedFrame &r = m_recorded[i];
        const TimedFrame &s = m_sent[j];
        if (r.bytes == s.bytes) {
            const std::int64_t late = lateness(i, j);
            m_report.differences.push_back({DifferenceKind::Timing, i, j,
                                            frameName(i) + ": sent at " + std::to_string(s.ms) +
                                                " ms, " + std::to_string(std::llabs(late)) +
                                                (late > 0 ? " ms late" : " ms early")});
            // A stalled console shifts every later frame; report the shift once.
            m_offset = clampedMs(s.ms) - clampedMs(r.ms);
            return;
        }
        m_report.differences.push_back(
            {DifferenceKind::Changed, i, j,
             frameName(i) + ": expected " + shortHex(r.bytes) + ", got " + shortHex(s.bytes) +
                 " (first difference at byte " + std::to_string(firstDifference(r.bytes, s.bytes)) +
                 ")"});
    }

    void missing(std::size_t i)
    {
        if (isSteadyRepeat(m_recorded, i) && m_ahead > -1) {
            --m_ahead;
            ++m_report.driftAbsorbed;
            return;
        }
        m_report.differences.push_back(
            {DifferenceKind::Missing, i, kNoFrame,
             frameName(i) + ": not sent, expected " + shortHex(m_recorded[i].bytes)});
    }

    void extra(std::size_t j)
    {
        if (isSteadyRepeat(m_sent, j) && m_ahead < 1) {
            ++m_ahead;
            ++m_report.driftAbsorbed;
            return;
        }
        m_report.differences.push_back({DifferenceKind::Extra, kNoFrame, j,
                                        "extra frame at " + std::to_string(m_sent[j].ms) +
                                            " ms: " + shortHex(m_sent[j].bytes)});
    }

    std::span<const TimedFrame> m_recorded;
    std::span<const TimedFrame> m_sent;
    std::int64_t m_tolerance;
    std::int64_t m_offset = 0;
    std::size_t m_i = 0;
    std::size_t m_j = 0;
    int m_ahead = 0;
    ReplayReport m_report;
};

} // namespace

std::vector<TimedFrame> framesInDirection(std::span<const TrafficRecord> records,
                                          Direction direction)
{
    std::vector<TimedFrame> frames;
    for (const TrafficRecord &r : records) {
        if (r.direction == direction)
            frames.push_back({r.ms, r.bytes});
    }
    return frames;
}

ReplayReport compareTraffic(std::span<const TimedFrame> recorded, std::span<const TimedFrame> sent,
                            const ReplayOptions &options)
{
    return Alignment(recorded, sent, options).run();
}

} // namespace relm
