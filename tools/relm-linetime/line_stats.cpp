#include "line_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace relm {

namespace {

double millisecondsBetween(LineTime from, LineTime to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void appendLine(std::string &out, const char *name, double value, const char *unit)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s: %.3f%s\n", name, value, unit);
    out += line;
}

void appendCount(std::string &out, const char *name, std::size_t value)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s: %zu\n", name, value);
    out += line;
}

} // namespace

double nearestRank(std::span<const double> sorted, double q)
{
    if (sorted.empty())
        return 0;
    const auto n = static_cast<double>(sorted.size());
    auto rank = static_cast<std::size_t>(std::ceil(q / 100.0 * n));
    rank = std::clamp<std::size_t>(rank, 1, sorted.size());
    return sorted[rank - 1];
}

IntervalSummary summarizeIntervals(std::vector<double> intervalsMs, double nominalMs)
{
    IntervalSummary s;
    s.count = intervalsMs.size();
    if (intervalsMs.empty())
        return s;
    std::vector<double> deviations;
    deviations.reserve(intervalsMs.size());
    for (const double v : intervalsMs) {
        const double d = v - nominalMs;
        deviations.push_back(std::fabs(d));
        s.beyond3Ms += std::fabs(d) > 3.0 ? 1 : 0;
        s.beyond10Ms += std::fabs(d) > 10.0 ? 1 : 0;
        if (std::fabs(d) > std::fabs(s.maxDeviationMs))
            s.maxDeviationMs = d;
    }
    std::sort(intervalsMs.begin(), intervalsMs.end());
    std::sort(deviations.begin(), deviations.end());
    const std::size_t n = intervalsMs.size();
    s.meanMs =
        std::accumulate(intervalsMs.begin(), intervalsMs.end(), 0.0) / static_cast<double>(n);
    s.medianMs =
        n % 2 == 1 ? intervalsMs[n / 2] : (intervalsMs[n / 2 - 1] + intervalsMs[n / 2]) / 2;
    s.p1Ms = nearestRank(intervalsMs, 1);
    s.p99Ms = nearestRank(intervalsMs, 99);
    s.minMs = intervalsMs.front();
    s.maxMs = intervalsMs.back();
    s.p99AbsDeviationMs = nearestRank(deviations, 99);
    return s;
}

LineReport analyseFrames(std::span<const SentFrame> frames, double periodMs)
{
    LineReport r;
    std::vector<double> intervals;
    const SentFrame *previousCommand = nullptr; // in the current cycle
    const SentFrame *cycleStart = nullptr;      // first command frame of the current cycle
    std::size_t inCycle = 0;                    // command frames of the cycle so far
    const SentFrame *firstDownload = nullptr;
    const SentFrame *startInitialisation = nullptr; // the one after the first download
    std::size_t commandBytes = 0;
    for (const SentFrame &f : frames) {
        switch (f.kind) {
        case SentKind::Download:
            ++r.downloads;
            r.downloadBytes = f.bytes;
            r.downloadWellFormed = f.wellFormed;
            if (firstDownload == nullptr)
                firstDownload = &f;
            previousCommand = nullptr;
            cycleStart = nullptr;
            break;
        case SentKind::Initialisation:
            ++r.initialisations;
            if (firstDownload != nullptr && startInitialisation == nullptr) {
                startInitialisation = &f;
                r.downloadToInitialisationMs = millisecondsBetween(firstDownload->last, f.first);
            }
            previousCommand = nullptr;
            cycleStart = nullptr;
            break;
        case SentKind::Command: {
            if (r.commandFrames == 0 || f.bytes < r.commandBytesMin)
                r.commandBytesMin = f.bytes;
            r.commandBytesMax = std::max(r.commandBytesMax, f.bytes);
            commandBytes += f.bytes;
            ++r.commandFrames;
            if (startInitialisation != nullptr && r.initialisationToCommandMs < 0)
                r.initialisationToCommandMs =
                    millisecondsBetween(startInitialisation->first, f.first);
            if (previousCommand != nullptr)
                intervals.push_back(millisecondsBetween(previousCommand->first, f.first));
            previousCommand = &f;
            if (cycleStart == nullptr) {
                cycleStart = &f;
                inCycle = 0;
            }
            const double lateness = millisecondsBetween(cycleStart->first, f.first) -
                                    periodMs * static_cast<double>(inCycle++);
            r.maxLatenessMs = std::max(r.maxLatenessMs, lateness);
            r.minLatenessMs = std::min(r.minLatenessMs, lateness);
            break;
        }
        case SentKind::OtherRegister:
            ++r.otherFrames;
            break;
        }
    }
    if (r.commandFrames > 0)
        r.commandBytesMean =
            static_cast<double>(commandBytes) / static_cast<double>(r.commandFrames);
    r.intervals = summarizeIntervals(std::move(intervals), periodMs);
    return r;
}

std::string formatLineReport(const LineReport &r, double periodMs)
{
    std::string out;
    appendCount(out, "downloads", r.downloads);
    appendCount(out, "download_frame_bytes", r.downloadBytes);
    appendLine(out, "download_line_time", static_cast<double>(r.downloadBytes) * kByteLineMs,
               " ms");
    appendLine(out, "download_end_to_initialisation", r.downloadToInitialisationMs, " ms");
    appendLine(out, "initialisation_to_first_command", r.initialisationToCommandMs, " ms");
    appendCount(out, "command_frames", r.commandFrames);
    appendCount(out, "command_intervals", r.intervals.count);
    appendLine(out, "interval_mean", r.intervals.meanMs, " ms");
    appendLine(out, "interval_median", r.intervals.medianMs, " ms");
    appendLine(out, "interval_p1", r.intervals.p1Ms, " ms");
    appendLine(out, "interval_p99", r.intervals.p99Ms, " ms");
    appendLine(out, "interval_min", r.intervals.minMs, " ms");
    appendLine(out, "interval_max", r.intervals.maxMs, " ms");
    appendLine(out, "interval_p99_abs_deviation", r.intervals.p99AbsDeviationMs, " ms");
    appendLine(out, "interval_max_deviation", r.intervals.maxDeviationMs, " ms");
    appendCount(out, "intervals_beyond_3ms", r.intervals.beyond3Ms);
    appendCount(out, "intervals_beyond_10ms", r.intervals.beyond10Ms);
    appendLine(out, "frame_lateness_max", r.maxLatenessMs, " ms");
    appendLine(out, "frame_lateness_min", r.minLatenessMs, " ms");
    appendCount(out, "command_frame_bytes_min", r.commandBytesMin);
    appendCount(out, "command_frame_bytes_max", r.commandBytesMax);
    appendLine(out, "command_frame_bytes_mean", r.commandBytesMean, "");
    appendLine(out, "command_line_share_of_period",
               r.commandBytesMean * kByteLineMs / periodMs * 100.0, " %");
    if (!r.downloadWellFormed)
        out += "download_lead: not 21 zero bytes\n";
    if (r.otherFrames > 0)
        appendCount(out, "other_register_frames", r.otherFrames);
    return out;
}

} // namespace relm
