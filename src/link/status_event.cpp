#include "link/status_event.h"

#include "link/receive_timing.h"
#include "link/report_watch.h"
#include "link/supervision.h"
#include "model/safety.h"
#include "model/section_code.h"

#include <cmath>

namespace relm {
namespace {

void appendHex(std::string &text, unsigned value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char digits[8];
    int n = 0;
    do {
        digits[n++] = kDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (n > 0)
        text.push_back(digits[--n]);
}

// Label2 text, behind / own / next / after next: "7 0 1 2".
std::string positionCaption(const Module1 &m, int t)
{
    std::string text;
    // A 16-bit entry shows as its 16-bit pattern; decoded codes are always 0..255.
    for (const std::int16_t code : {m.PosCode1[t], m.PosCode0[t], m.PosCode2[t], m.PosCode3[t]}) {
        if (!text.empty())
            text.push_back(' ');
        appendHex(text, static_cast<std::uint16_t>(code));
    }
    return text;
}

// Stores each train's record. A change of own section recomputes the section after the next;
// without one PosCode3 keeps its value, which may come from an armed point route. While a point
// command waits for the next tick, the controller cannot know the route yet: the next section it
// reports for a train still standing there would replace the armed one, and the command would
// go out with the wrong section. A record marked unreported is not taken at all.
FrameReading decodePass(Module1 &m, std::span<const std::uint8_t> block, StatusView &view,
                        const TrainFlags &unreported = {})
{
    FrameReading reading;
    reading.unreported = unreported;
    for (int t = 0; t < kTrainCount; ++t) {
        if (unreported[t])
            continue;
        const auto record = block.subspan(static_cast<std::size_t>(kStatusRecordBytes * t));
        reading.posChanged[t] = record[0] != m.PosCode0[t];
        m.PosCode0[t] = record[0];
        m.PosCode1[t] = record[1];
        if (m.TrainCmd[t] != kCmdSetPoint || reading.posChanged[t])
            m.PosCode2[t] = record[2];
        reading.actualSpeed[t] = record[5];
        m.StatusAux[t] = record[6];
        if (reading.posChanged[t])
            m.PosCode3[t] = stepAhead(m.PosCode0[t], m.PosCode2[t], 1);
        if (m.RevState[t] == kRevRequested)
            m.RevState[t] = kRevStopping;
        view.trains[t].caption = positionCaption(m, t);
    }
    return reading;
}

// Colours each present train's label, sets its target speed and draws its speed bar.
void statusPass(Module1 &m, const FrameReading &reading, BarFrame frame, StatusView &view)
{
    for (int t = 0; t < kTrainCount; ++t) {
        TrainView &row = view.trains[t];
        if (m.PosCode0[t] == kAbsentCode) {
            row.colour = kStatusGrey; // target speed and bar stay as they were
            continue;
        }
        Ahead ahead = CheckAhead(m, t);
        // A set point route limits the train to caution speed; it never lifts a stop, or the
        // train would run at 48 into a section another train holds.
        if (m.PointBlocked[t] != kFalse)
            ahead = Ahead::Stop;
        else if (m.PointArmed[t] != kFalse && ahead == Ahead::Clear)
            ahead = Ahead::Caution;

        switch (ahead) {
        case Ahead::Stop:
            row.colour = kStatusLightRed;
            m.TargetSpeed[t] = 0;
            break;
        case Ahead::Caution:
            row.colour = kStatusLightYellow;
            m.TargetSpeed[t] = m.SliderSpeed[t] <= kCautionSpeed
                                   ? m.SliderSpeed[t]
                                   : static_cast<std::int16_t>(kCautionSpeed);
            break;
        case Ahead::Clear:
            row.colour = kStatusLightCyan;
            m.TargetSpeed[t] = m.SliderSpeed[t];
            break;
        }

        // The bar grows upward from the bottom edge of its frame.
        const int height = speedBarHeight(reading.actualSpeed[t], frame.height);
        row.barHeight = height;
        row.barTop = frame.height + frame.top - height;
    }
}

// The point, status and reversal passes on a decoded frame, and what they leave to show.
void supervise(Module1 &m, const FrameReading &reading, BarFrame frame, StatusView &view)
{
    const TrainFlags pointPassed = pointPass(m, reading);
    statusPass(m, reading, frame, view);
    const ReversalOutcome reversal = reversalPass(m, reading);

    for (int t = 0; t < kTrainCount; ++t) {
        view.trains[t].resetPointButton = pointPassed[t] || reversal.passageEnded[t];
        view.trains[t].resetReverseButton = reversal.ready[t];
        // Codes 128..255 are not drawn, so they trigger no redraw.
        if (m.PosCode0[t] < kAbsentCode && reading.posChanged[t])
            ++view.mapRedraws;
    }
}

} // namespace

std::string receivedBytesText(std::span<const std::uint8_t> block)
{
    std::string text;
    text.reserve(block.size() * 3);
    for (const std::uint8_t b : block) {
        appendHex(text, b);
        text.push_back(' ');
    }
    return text;
}

int speedBarHeight(int actualSpeed, int frameHeight)
{
    const float height =
        static_cast<float>(actualSpeed) * static_cast<float>(frameHeight) / kBarFullScale;
    return static_cast<int>(std::lrint(height)); // default rounding: nearest, halves to even
}

StatusView statusEvent(Module1 &m, std::span<const std::uint8_t> block, BarFrame frame)
{
    StatusView view;
    view.label1Text = receivedBytesText(block);
    // A partial frame would leave records half read: it is shown and never decoded. Nor is a frame
    // decoded between a download and its initialisation frame: it would replace the positions
    // just loaded from atc.ini before they have been sent.
    if (block.size() < kStatusFrameBytes || m.InitSent == kFalse)
        return view;
    view.decoded = true;
    view.reading = decodePass(m, block.first(kStatusFrameBytes), view);
    supervise(m, view.reading, frame, view);
    return view;
}

StatusView statusEvent(Module1 &m, ReportWatch &watch, std::span<const std::uint8_t> block,
                       BarFrame frame, WatchClock now)
{
    StatusView view;
    view.label1Text = receivedBytesText(block);
    if (block.empty() || m.InitSent == kFalse)
        return view;
    // A frame cut short by a lost byte, or joined to part of another, would put every record
    // after the cut in the wrong place.
    const std::size_t frameBytes = watch.frameBytes(block.size());
    if (block.size() % frameBytes != 0) {
        watch.cutBlock(block.size(), view);
        return view;
    }
    view.decoded = true;
    const auto first = block.first(frameBytes);
    const ReportWatch::Verdict verdict = watch.check(m, first, now);
    TrainFlags unreported{};
    for (int t = 0; t < kTrainCount; ++t)
        unreported[t] = verdict.implausible[t] && !verdict.adopt[t];
    FrameReading reading = decodePass(m, first, view, unreported);
    for (int t = 0; t < kTrainCount; ++t)
        reading.doubted[t] = watch.held(t);
    reading.doubtfulSections = verdict.doubtfulSections;
    TrainFlags wasReady{};
    for (int t = 0; t < kTrainCount; ++t) {
        wasReady[t] = m.RevState[t] == kRevReady;
        reading.creeping[t] = !reading.unreported[t] && watch.creeps(t, reading.actualSpeed[t]);
    }
    supervise(m, reading, frame, view);
    watch.withdrawReversals(m, wasReady, reading, first);
    watch.finish(m, first, verdict, reading.posChanged, now, view);
    view.reading = reading;
    return view;
}

} // namespace relm
