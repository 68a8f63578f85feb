#include "frame_timeline.h"

namespace relm {

namespace {

constexpr std::uint8_t kFrameStart = 0xFF;
constexpr std::size_t kDownloadLeadZeros = 21;
constexpr std::size_t kDownloadTrailAfterLength = 6; // zeros after the counted bytes
constexpr int kInitialisationPairs = 12;
constexpr std::uint8_t kInitialisationFirstAddress = 0;
constexpr std::uint8_t kCommandFirstAddress = 3;

} // namespace

void FrameTimeline::feed(std::span<const std::uint8_t> chunk, LineTime at)
{
    for (const std::uint8_t byte : chunk)
        takeByte(byte, at);
}

std::vector<SentFrame> FrameTimeline::take()
{
    std::vector<SentFrame> out;
    out.swap(m_done);
    return out;
}

void FrameTimeline::begin(SentKind kind, LineTime at)
{
    m_current = SentFrame{};
    m_current.kind = kind;
    m_current.first = at;
}

void FrameTimeline::finish(LineTime at)
{
    m_current.last = at;
    m_done.push_back(m_current);
    m_state = State::Idle;
}

void FrameTimeline::takeByte(std::uint8_t byte, LineTime at)
{
    if (m_state != State::Idle)
        ++m_current.bytes;
    switch (m_state) {
    case State::Idle:
        if (byte == 0x00) {
            begin(SentKind::Download, at);
            m_current.bytes = 1;
            m_lead = 1;
            m_state = State::DownloadLead;
        } else if (byte == kFrameStart) {
            begin(SentKind::OtherRegister, at);
            m_current.bytes = 1;
            m_state = State::PairCount;
        } else {
            ++m_stray;
        }
        return;
    case State::DownloadLead:
        if (byte == 0x00) {
            ++m_lead;
        } else if (byte == kFrameStart) {
            m_current.wellFormed = m_lead == kDownloadLeadZeros;
            m_state = State::LengthHigh;
        } else {
            // Zeros that led nowhere: stray bytes, and this one with them.
            m_stray += m_lead + 1;
            m_state = State::Idle;
        }
        return;
    case State::LengthHigh:
        m_length = byte << 8;
        m_state = State::LengthLow;
        return;
    case State::LengthLow:
        m_length |= byte;
        m_remaining = static_cast<std::size_t>(m_length) + kDownloadTrailAfterLength;
        m_state = State::DownloadBody;
        return;
    case State::DownloadBody:
        if (--m_remaining == 0)
            finish(at);
        return;
    case State::PairCount:
        m_current.pairs = byte;
        m_remaining = 2 * static_cast<std::size_t>(byte);
        if (m_remaining == 0)
            finish(at);
        else
            m_state = State::RegisterBody;
        return;
    case State::RegisterBody:
        if (m_current.bytes == 3) { // the first address tells the frame's kind
            if (byte == kCommandFirstAddress)
                m_current.kind = SentKind::Command;
            else if (byte == kInitialisationFirstAddress && m_current.pairs == kInitialisationPairs)
                m_current.kind = SentKind::Initialisation;
        }
        if (--m_remaining == 0)
            finish(at);
        return;
    }
}

} // namespace relm
