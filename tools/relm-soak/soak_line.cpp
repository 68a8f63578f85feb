// The soak's serial line: frames queued in both directions at the line rate, the faults that
// damage them on the way, and which frames the controller really got.

#include "soak_run.h"

#include "link/register_frames.h"

#include <algorithm>

namespace relm {

void SoakRun::sendStatus(std::span<const std::uint8_t> produced)
{
    for (std::size_t at = 0; at < produced.size(); at += sim::kStatusFrameBytes) {
        const auto frame = produced.subspan(at, std::min<std::size_t>(sim::kStatusFrameBytes,
                                                                      produced.size() - at));
        m_statusSent.emplace_back(frame.begin(), frame.end());
        constexpr std::size_t kKeptStatus = 8;
        if (m_statusSent.size() > kKeptStatus)
            m_statusSent.pop_front();
        for (int copy = m_faults.copies(sim::LineDirection::ToConsole, frame.size()); copy > 0;
             --copy)
            m_toConsole.write(m_now, frame);
    }
}

std::vector<std::uint8_t> SoakRun::arrivedAtConsole()
{
    return throughLine(sim::LineDirection::ToConsole, m_toConsole.arrived(m_now));
}

std::vector<std::uint8_t> SoakRun::throughLine(sim::LineDirection d,
                                               std::span<const std::uint8_t> sent)
{
    std::vector<std::uint8_t> arrived(sent.begin(), sent.end());
    if (arrived.empty())
        return arrived;
    const sim::FaultCounts before = m_faults.counts(d);
    m_faults.damage(d, m_now, arrived);
    const sim::FaultCounts &after = m_faults.counts(d);
    const bool toController = d == sim::LineDirection::ToController;
    bool &down = m_lineDown[toController ? 0 : 1];
    if (after.damaged() == before.damaged()) {
        down = false;
        return arrived;
    }
    if (toController)
        m_commandDamagedAt = m_now;
    const std::string which = toController ? "bytes to the controller" : "status bytes";
    if (after.outageBytes != before.outageBytes) {
        // An outage loses byte after byte; one line says so.
        if (!down)
            m_trace.add(m_now, "line down: " + which + " lost until it is back");
        down = true;
        return arrived;
    }
    down = false;
    m_trace.add(m_now, "line damaged " + which + ": " + hexBytes(sent) + " arrived as " +
                           (arrived.empty() ? std::string("nothing") : hexBytes(arrived)));
    return arrived;
}

void SoakRun::write(FrameKind kind, std::vector<std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    if (kind == FrameKind::Download)
        m_trace.add(m_now, "console -> download frame, " + std::to_string(bytes.size()) + " bytes");
    else
        m_trace.add(m_now, "console -> " + hexBytes(bytes));
    const int copies = m_faults.copies(sim::LineDirection::ToController, bytes.size());
    for (int copy = 0; copy < copies; ++copy) {
        if (copy > 0)
            m_trace.add(m_now, "line sends the frame again");
        m_toController.write(m_now, bytes);
        if (kind != FrameKind::Download) {
            m_registerFramesSent.push_back(bytes);
            // Frames the controller never completes are forgotten after a while.
            constexpr std::size_t kRemembered = 16;
            if (m_registerFramesSent.size() > kRemembered)
                m_registerFramesSent.pop_front();
        }
        m_outgoing.push_back({kind, bytes, 0, copy > 0});
    }
}

void SoakRun::receiveAtController(std::span<const std::uint8_t> bytes)
{
    m_controller.receive(throughLine(sim::LineDirection::ToController, bytes));
}

void SoakRun::frameApplied(const sim::RegisterFrame &frame)
{
    std::vector<std::uint8_t> bytes{kFrameStart, static_cast<std::uint8_t>(frame.pairs.size())};
    for (const sim::RegisterPair &p : frame.pairs)
        bytes.insert(bytes.end(), {p.address, p.value});
    const auto sent = std::find(m_registerFramesSent.begin(), m_registerFramesSent.end(), bytes);
    if (sent == m_registerFramesSent.end()) {
        ++m_stats.alteredFrames;
        m_trace.add(m_now, "controller got a frame the console never sent: " + hexBytes(bytes));
        // Its position registers of these trains are no longer what the console set.
        for (const RegisterWrite &w : registerWrites(bytes)) {
            if (w.train < kTrainCount && w.offset <= kRegPosition3)
                m_tainted[static_cast<std::size_t>(w.train)] = true;
        }
        return;
    }
    const std::vector<RegisterWrite> writes = registerWrites(bytes);
    if (std::none_of(writes.begin(), writes.end(),
                     [](const RegisterWrite &w) { return w.offset == kRegSpeed; }))
        m_tainted.fill(false); // the initialisation frame places every train afresh
    if (sent != m_registerFramesSent.begin()) {
        // The frames before it never arrived whole: the controller missed what they said.
        m_stats.lostFrames += static_cast<std::uint64_t>(sent - m_registerFramesSent.begin());
        m_trace.add(m_now, "controller missed " +
                               std::to_string(sent - m_registerFramesSent.begin()) +
                               " frame(s) the console sent");
    }
    m_registerFramesSent.erase(m_registerFramesSent.begin(), sent + 1);
}

void SoakRun::deliverToController(std::span<const std::uint8_t> bytes)
{
    // The controller acts on a frame when its last byte arrives: the frame is checked against
    // the layout as it stands just before that byte.
    while (!bytes.empty()) {
        if (m_outgoing.empty()) {
            receiveAtController(bytes);
            return;
        }
        Outgoing &frame = m_outgoing.front();
        const std::size_t left = frame.bytes.size() - frame.delivered;
        if (left > 1) {
            const std::size_t n = std::min(left - 1, bytes.size());
            receiveAtController(bytes.first(n));
            frame.delivered += n;
            bytes = bytes.subspan(n);
            continue;
        }
        if (!frame.repeat)
            frameTakesEffect(frame);
        receiveAtController(bytes.first(1));
        bytes = bytes.subspan(1);
        m_outgoing.pop_front();
    }
}

} // namespace relm
