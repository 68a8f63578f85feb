#pragma once

// Figures of a timing run: the spacing of the command frames against their 200 ms period, and
// the start of the cycle after a download (initialisation frame, then the first command frame).

#include "frame_timeline.h"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace relm {

// Line time of one byte at 9600 baud, 8N1: ten bit times.
inline constexpr double kByteLineMs = 10.0 * 1000.0 / 9600.0;

struct IntervalSummary
{
    std::size_t count = 0;
    double meanMs = 0;
    double medianMs = 0;
    double p1Ms = 0;  // 1st percentile (nearest rank)
    double p99Ms = 0; // 99th percentile (nearest rank)
    double minMs = 0;
    double maxMs = 0;
    double p99AbsDeviationMs = 0; // 99th percentile of |interval - nominal|
    double maxDeviationMs = 0;    // the deviation of largest size, with its sign
    std::size_t beyond3Ms = 0;    // intervals more than 3 ms from nominal
    std::size_t beyond10Ms = 0;   // intervals more than 10 ms from nominal
};

// Nearest-rank percentile (0 < q <= 100) of values sorted ascending; 0 for no values.
double nearestRank(std::span<const double> sorted, double q);

IntervalSummary summarizeIntervals(std::vector<double> intervalsMs, double nominalMs);

struct LineReport
{
    std::size_t downloads = 0;
    std::size_t downloadBytes = 0; // of the last download
    bool downloadWellFormed = true;
    std::size_t initialisations = 0;
    std::size_t commandFrames = 0;
    std::size_t otherFrames = 0;
    // From the last byte of the first download to the first byte of the initialisation frame
    // that follows it, and from there to the first command frame; negative when not seen.
    double downloadToInitialisationMs = -1;
    double initialisationToCommandMs = -1;
    // Between the first bytes of consecutive command frames of one cycle.
    IntervalSummary intervals;
    // How far a command frame came after its place on the period's grid, counted from the
    // first command frame of its cycle: a late tick that the next one makes up for shows as a
    // late frame here, a period that runs slow as a lateness that keeps growing.
    double maxLatenessMs = 0;
    double minLatenessMs = 0;
    std::size_t commandBytesMin = 0;
    std::size_t commandBytesMax = 0;
    double commandBytesMean = 0;
};

LineReport analyseFrames(std::span<const SentFrame> frames, double periodMs);

// The figures as "name: value" lines.
std::string formatLineReport(const LineReport &report, double periodMs);

} // namespace relm
