#include "sim/frame_parser.h"

#include <utility>

namespace relm::sim {

namespace {

constexpr std::uint8_t kFrameStart = 0xFF;

} // namespace

const char *faultName(Fault f)
{
    switch (f) {
    case Fault::CountOverLimit:
        return "pair count over 24";
    case Fault::AddressOverLimit:
        return "register address over 41";
    case Fault::Truncated:
        return "frame cut short";
    case Fault::StrayBytes:
        return "stray bytes";
    case Fault::BadDownload:
        return "bad download";
    }
    return "?";
}

FrameParser::FrameParser(Duration gapTimeout)
    : m_gapTimeout(gapTimeout)
{}

void FrameParser::feed(std::span<const std::uint8_t> bytes, Time now, std::vector<ParserEvent> &out)
{
    if (bytes.empty())
        return;
    expire(now, out);
    m_lastByte = now;
    for (std::uint8_t b : bytes)
        take(b, out);
}

void FrameParser::expire(Time now, std::vector<ParserEvent> &out)
{
    if (idle() || now - m_lastByte <= m_gapTimeout)
        return;
    switch (m_state) {
    case State::Hunting:
        m_stray += m_zeroRun;
        m_zeroRun = 0;
        flushStray(out);
        return;
    case State::Count:
    case State::Pairs:
        fail(Fault::Truncated, partialBytes(),
             "register frame stalled after " + std::to_string(m_frame.pairs.size()) + " of " +
                 std::to_string(m_expected) + " pairs",
             out);
        return;
    case State::LengthHigh:
    case State::LengthLow:
    case State::Image:
    case State::Trailer:
        fail(Fault::Truncated, partialBytes(),
             "download stalled after " + std::to_string(m_image.size()) + " of " +
                 std::to_string(m_length) + " image bytes",
             out);
        return;
    case State::Skip:
        // The refused download has ended: the line went quiet.
        m_state = State::Hunting;
        return;
    }
}

void FrameParser::take(std::uint8_t b, std::vector<ParserEvent> &out)
{
    switch (m_state) {
    case State::Hunting:
        hunt(b, out);
        return;
    case State::Count:
        if (b > kMaxPairs) {
            fail(Fault::CountOverLimit, b == kFrameStart ? 1 : 2, "count " + std::to_string(b),
                 out);
            if (b == kFrameStart)
                startRegisterFrame(out); // the 0xFF before it was junk; this one starts a frame
            return;
        }
        m_expected = b;
        if (b == 0) {
            out.emplace_back(std::exchange(m_frame, {}));
            m_state = State::Hunting;
        } else {
            m_state = State::Pairs;
        }
        return;
    case State::Pairs:
        if (!m_haveAddress) {
            if (b > kHighestAddress) {
                fail(Fault::AddressOverLimit, partialBytes() + (b == kFrameStart ? 0 : 1),
                     "address " + std::to_string(b) + " in pair " +
                         std::to_string(m_frame.pairs.size() + 1),
                     out);
                if (b == kFrameStart)
                    startRegisterFrame(out);
                return;
            }
            m_address = b;
            m_haveAddress = true;
            return;
        }
        m_frame.pairs.push_back({m_address, b});
        m_haveAddress = false;
        if (m_frame.pairs.size() == m_expected) {
            out.emplace_back(std::exchange(m_frame, {}));
            m_state = State::Hunting;
        }
        return;
    case State::LengthHigh:
        m_length = std::size_t{b} * 256;
        m_state = State::LengthLow;
        return;
    case State::LengthLow: {
        const std::size_t field = m_length + b;
        if (field == 0) {
            fail(Fault::BadDownload, 3, "length field 0 leaves no room for the closing zero", out);
            return;
        }
        m_length = field - 1;
        if (m_length > kMaxImageBytes) {
            fail(Fault::BadDownload, 3,
                 "image of " + std::to_string(m_length) + " bytes refused (at most " +
                     std::to_string(kMaxImageBytes) + ")",
                 out);
            // Swallow the image rather than read it as register frames.
            m_skip = m_length + kDownloadTrailer;
            m_state = State::Skip;
            return;
        }
        m_image.clear();
        m_image.reserve(m_length);
        m_expected = kDownloadTrailer;
        m_state = m_length == 0 ? State::Trailer : State::Image;
        return;
    }
    case State::Image:
        m_image.push_back(b);
        if (m_image.size() == m_length)
            m_state = State::Trailer;
        return;
    case State::Trailer:
        if (b != 0) {
            fail(Fault::BadDownload, partialBytes(),
                 "byte " + std::to_string(kDownloadTrailer - m_expected + 1) +
                     " after the image is not zero",
                 out);
            hunt(b, out); // it may start the next frame
            return;
        }
        if (--m_expected == 0) {
            out.emplace_back(DownloadFrame{std::exchange(m_image, {})});
            m_state = State::Hunting;
        }
        return;
    case State::Skip:
        if (--m_skip == 0)
            m_state = State::Hunting;
        return;
    }
}

void FrameParser::hunt(std::uint8_t b, std::vector<ParserEvent> &out)
{
    if (b == 0) {
        ++m_zeroRun;
        return;
    }
    if (b != kFrameStart) {
        m_stray += m_zeroRun + 1;
        m_zeroRun = 0;
        return;
    }
    if (m_zeroRun >= kMinPreamble) {
        m_zeroRun = 0;
        flushStray(out);
        m_length = 0;
        m_image.clear();
        m_state = State::LengthHigh;
        return;
    }
    m_stray += m_zeroRun;
    m_zeroRun = 0;
    startRegisterFrame(out);
}

void FrameParser::startRegisterFrame(std::vector<ParserEvent> &out)
{
    flushStray(out);
    m_frame.pairs.clear();
    m_haveAddress = false;
    m_expected = 0;
    m_state = State::Count;
}

void FrameParser::flushStray(std::vector<ParserEvent> &out)
{
    if (m_stray == 0)
        return;
    out.emplace_back(MalformedInput{Fault::StrayBytes, m_stray,
                                    std::to_string(m_stray) + " bytes outside any frame"});
    m_stray = 0;
}

void FrameParser::fail(Fault f, std::size_t bytes, std::string detail,
                       std::vector<ParserEvent> &out)
{
    out.emplace_back(MalformedInput{f, bytes, std::move(detail)});
    m_frame.pairs.clear();
    m_haveAddress = false;
    m_image.clear();
    m_zeroRun = 0;
    m_state = State::Hunting;
}

std::size_t FrameParser::partialBytes() const
{
    switch (m_state) {
    case State::Count:
        return 1;
    case State::Pairs:
        return 2 + 2 * m_frame.pairs.size() + (m_haveAddress ? 1 : 0);
    case State::LengthHigh:
        return 1;
    case State::LengthLow:
        return 2;
    case State::Image:
    case State::Trailer:
        return 3 + m_image.size() + (m_state == State::Trailer ? kDownloadTrailer - m_expected : 0);
    case State::Hunting:
    case State::Skip:
        return 0;
    }
    return 0;
}

} // namespace relm::sim
