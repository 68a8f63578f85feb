#include "sim/replay_plan.h"

#include <algorithm>
#include <istream>
#include <optional>
#include <string_view>

namespace relm::sim {

namespace {

struct NumberedRecord
{
    std::size_t line = 0;
    TrafficRecord record;
};

std::string counted(std::size_t n, const char *one, const char *many)
{
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
}

// Every good record with its line number; bad lines and times that go back become errors.
std::vector<NumberedRecord> readRecords(std::istream &log, std::vector<std::string> &errors)
{
    std::vector<NumberedRecord> records;
    std::string line;
    std::size_t number = 0;
    while (std::getline(log, line)) {
        ++number;
        std::string_view text = line;
        if (!text.empty() && text.back() == '\r')
            text.remove_suffix(1);
        if (text.empty() || text.front() == '#')
            continue;
        ParsedLogLine parsed = parseLogLine(text);
        if (!parsed.ok) {
            errors.push_back("line " + std::to_string(number) + ": " + parsed.error);
            continue;
        }
        if (!records.empty() && parsed.record.ms < records.back().record.ms) {
            const NumberedRecord &before = records.back();
            errors.push_back("line " + std::to_string(number) + ": " +
                             std::to_string(parsed.record.ms) + " ms is earlier than line " +
                             std::to_string(before.line) + " (" + std::to_string(before.record.ms) +
                             " ms): the log holds more than one run of the console; keep one");
        }
        records.push_back({number, std::move(parsed.record)});
    }
    return records;
}

} // namespace

ReplayLoad loadReplay(std::istream &log)
{
    ReplayLoad r;
    const std::vector<NumberedRecord> records = readRecords(log, r.errors);

    std::optional<std::int64_t> startMs;
    std::int64_t lastMs = 0;
    for (const NumberedRecord &n : records) {
        const TrafficRecord &rec = n.record;
        lastMs = std::max(lastMs, rec.ms);
        if (rec.direction == Direction::ToController) {
            if (!startMs)
                startMs = rec.ms;
            r.plan.expected.push_back({rec.ms, rec.bytes});
            continue;
        }
        if (!startMs) {
            ++r.plan.blocksBeforeStart;
        } else if (rec.bytes.empty()) {
            ++r.plan.emptyBlocks;
        } else {
            const std::int64_t after = std::max<std::int64_t>(0, rec.ms - *startMs);
            r.plan.blocks.push_back({Duration{after * 1000}, rec.bytes});
        }
    }
    if (!startMs) {
        r.errors.push_back("the log holds no frame from the console (TX): nothing to compare");
        return r;
    }
    r.plan.startMs = *startMs;
    r.plan.length = Duration{std::max<std::int64_t>(0, lastMs - *startMs) * 1000} + kReplayRunOut;
    return r;
}

std::vector<std::string> reportLines(const ReplayReport &report)
{
    std::vector<std::string> lines;
    for (const ReplayDifference &d : report.differences)
        lines.push_back(d.text);
    lines.push_back("replay: " + counted(report.matched, "frame", "frames") + " matched, " +
                    counted(report.differences.size(), "difference", "differences"));
    return lines;
}

int replayExitStatus(const ReplayReport &report)
{
    return report.identical() ? kReplayIdentical : kReplayDiffers;
}

} // namespace relm::sim
