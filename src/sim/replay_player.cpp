#include "sim/replay_player.h"

#include "sim/line_pacing.h"
#include "traffic/frame_decoder.h"

#include <algorithm>
#include <chrono>
#include <type_traits>
#include <variant>

namespace relm::sim {

namespace {

// Longer than the largest download frame with a generous preamble: older bytes can only be junk.
constexpr std::size_t kMaxPending = kMaxImageBytes + 1024;

} // namespace

ReplayPlayer::ReplayPlayer(ReplayPlan plan, bool pacedLine)
    : m_plan(std::move(plan))
    , m_paced(pacedLine)
{}

void ReplayPlayer::receive(std::span<const std::uint8_t> bytes, Time now)
{
    std::vector<ParserEvent> events;
    // Byte by byte, so that each frame is known by the arrival of its own first byte.
    for (const std::uint8_t b : bytes) {
        if (m_parser.idle())
            m_pending.clear();
        m_pending.push_back({b, now});
        if (m_pending.size() > kMaxPending)
            m_pending.pop_front();
        m_parser.feed(std::span(&b, 1), now, events);
        for (const ParserEvent &e : events)
            take(e);
        events.clear();
    }
}

void ReplayPlayer::take(const ParserEvent &event)
{
    std::visit(
        [this](const auto &e) {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, RegisterFrame>) {
                frameEnds(2 + 2 * e.pairs.size(), false);
            } else if constexpr (std::is_same_v<T, DownloadFrame>) {
                frameEnds(3 + e.image.size() + kDownloadTrailer, true);
            } else {
                m_malformedBytes += e.bytes;
                if (m_trace && !m_pending.empty()) {
                    m_trace(m_pending.back().at,
                            std::string("in  malformed: ") + faultName(e.fault) + ", " + e.detail);
                }
            }
        },
        event);
}

// The frame is the last frameBytes bytes received, and for a download the zeros before them.
void ReplayPlayer::frameEnds(std::size_t frameBytes, bool download)
{
    std::size_t first = m_pending.size() > frameBytes ? m_pending.size() - frameBytes : 0;
    if (download) {
        while (first > 0 && m_pending[first - 1].byte == 0)
            --first;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(m_pending.size() - first);
    for (std::size_t k = first; k < m_pending.size(); ++k)
        bytes.push_back(m_pending[k].byte);
    const Time at = first < m_pending.size() ? m_pending[first].at : Time{};
    m_pending.clear();

    if (!m_zero)
        m_zero = at;
    if (m_trace)
        m_trace(at, "in  " + decodeFrame(Direction::ToController, bytes).summary);
    m_sent.push_back({logMs(at), std::move(bytes)});
}

std::int64_t ReplayPlayer::logMs(Time t) const
{
    return m_plan.startMs +
           std::chrono::duration_cast<std::chrono::milliseconds>(t - *m_zero).count();
}

Time ReplayPlayer::handOver(std::size_t block) const
{
    const PlannedBlock &b = m_plan.blocks[block];
    const std::size_t n = b.bytes.size();
    const Duration quiet = n >= kConsoleFrameBytes ? kConsoleFrameQuiet : kConsoleFragmentQuiet;
    const Duration lead = quiet + (m_paced ? lineTime(n) : Duration{0});
    return *m_zero + std::max(Duration{0}, b.at - lead);
}

std::vector<std::uint8_t> ReplayPlayer::takeDue(Time now)
{
    std::vector<std::uint8_t> out;
    if (!m_zero)
        return out;
    while (m_next < m_plan.blocks.size() && handOver(m_next) <= now) {
        const std::vector<std::uint8_t> &b = m_plan.blocks[m_next].bytes;
        if (m_trace)
            m_trace(now, "out " + decodeFrame(Direction::FromController, b).summary);
        out.insert(out.end(), b.begin(), b.end());
        ++m_next;
    }
    return out;
}

std::optional<Time> ReplayPlayer::nextDue() const
{
    if (!m_zero)
        return std::nullopt;
    const Time end = *m_zero + m_plan.length;
    if (m_next < m_plan.blocks.size())
        return std::min(handOver(m_next), end);
    return end;
}

bool ReplayPlayer::over(Time now) const
{
    return m_zero && now >= *m_zero + m_plan.length;
}

ReplayReport ReplayPlayer::finish(Time now)
{
    // Whatever is still half received will not be completed.
    std::vector<ParserEvent> events;
    m_parser.expire(now + kDefaultGapTimeout + Duration{1}, events);
    for (const ParserEvent &e : events)
        take(e);
    return compareTraffic(m_plan.expected, m_sent);
}

} // namespace relm::sim
