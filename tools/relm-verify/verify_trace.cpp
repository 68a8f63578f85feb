#include "verify_trace.h"

#include "start_placements.h"

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "initdata/load_ini.h"
#include "link/command_tick.h"
#include "link/status_event.h"
#include "traffic/traffic_log.h"

#include <sstream>

namespace relm::verify {

namespace {

constexpr std::int64_t kFirstTickDelayMs = 1000; // Transfer starts the timer at 1000 ms
constexpr std::int64_t kStatusBeforeTickMs = 100;
constexpr std::int64_t kOperatorBeforeTickMs = 150;
constexpr std::int64_t kBaud = 9600;
constexpr std::int64_t kBitsPerByte = 10;
constexpr int kSliderMaximum = 128;
constexpr BarFrame kBarFrame{1575, 1920};
constexpr std::string_view kNoteMark = " NOTE ";
constexpr std::string_view kOperator = "operator: ";

std::string iniLine(const IniValueArray &values)
{
    std::string text;
    for (const std::int32_t v : values)
    {
        if (!text.empty())
            text += ' ';
        text += std::to_string(v);
    }
    return text;
}

std::string hexBytes(const std::vector<std::uint8_t> &bytes)
{
    std::string text;
    char b[4];
    for (const std::uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X", v);
        if (!text.empty())
            text += ' ';
        text += b;
    }
    return text;
}

// Applies an operator note's words to the console's tables; false if they name nothing known.
bool operatorActs(Module1 &m, const std::string &words)
{
    if (words == "リセット") {
        resetPressed(m);
        return true;
    }
    if (words.size() < 3 || words[1] != ' ' || words[0] < 'X' || words[0] > 'Z')
        return false;
    const int t = words[0] - 'X';
    const std::string what = words.substr(2);
    if (what == "停止")
        stopPressed(m, t);
    else if (what == "ポイント")
        pointPressed(m, t);
    else if (what == "逆転")
        reversePressed(m, t);
    else if (what.rfind("slider ", 0) == 0)
        sliderMoved(m, t, kSliderMaximum, kSliderMaximum - std::stoi(what.substr(7)));
    else
        return false;
    return true;
}

} // namespace

std::string traceLog(const IniValueArray &start, const std::vector<std::uint16_t> &steps,
                     const ModelShape &shape, const std::vector<std::uint8_t> &download,
                     const std::string &headline)
{
    std::string out = "# relm-verify: " + headline + "\n# atc.ini: " + iniLine(start) + "\n";
    std::vector<std::uint8_t> init;
    World w = startWorld(start, shape, &init);
    out += formatLogLine(0, Direction::ToController, download) + "\n";
    // The initialisation frame follows a second after the download has left the port.
    const auto downloadMs = static_cast<std::int64_t>(download.size()) * kBitsPerByte * 1000 / kBaud;
    const std::int64_t initAt = downloadMs + 1 + kFirstTickDelayMs;
    out += formatLogLine(initAt, Direction::ToController, init) + "\n";
    std::int64_t tickAt = initAt + kFirstTickDelayMs;
    for (const std::uint16_t label : steps) {
        const Step s = decode(label);
        StepResult r = apply(w, s, shape);
        w = std::move(r.next);
        if (s.kind != StepKind::Period) {
            out += formatNoteLine(tickAt - kOperatorBeforeTickMs, describe(s)) + "\n";
            continue;
        }
        out += formatLogLine(tickAt - kStatusBeforeTickMs, Direction::FromController,
                             r.frames.status) + "\n";
        out += formatLogLine(tickAt, Direction::ToController, r.frames.command) + "\n";
        tickAt += kPeriodMs;
    }
    return out;
}

std::string traceExplanation(const IniValueArray &start, const std::vector<std::uint16_t> &steps,
                             const ModelShape &shape)
{
    World w = startWorld(start, shape);
    std::string out = "start: " + describePlacement(start) + "\n" + describe(w, shape);
    for (const std::uint16_t label : steps) {
        const Step s = decode(label);
        StepResult r = apply(w, s, shape);
        w = std::move(r.next);
        out += describe(s) + "\n";
        if (s.kind != StepKind::Period)
            continue;
        out += "  status  " + hexBytes(r.frames.status) + "\n";
        out += "  command " + hexBytes(r.frames.command) + "\n";
        out += describe(w, shape);
        for (const Finding &f : r.findings)
            out += std::string("  VIOLATION ") + findingName(f.kind) + ": " + f.what + "\n";
    }
    return out;
}

std::vector<Finding> findingsAtEnd(const IniValueArray &start,
                                   const std::vector<std::uint16_t> &steps, const ModelShape &shape)
{
    World w = startWorld(start, shape);
    std::vector<Finding> findings;
    for (const std::uint16_t label : steps) {
        StepResult r = apply(w, decode(label), shape);
        w = std::move(r.next);
        findings = std::move(r.findings);
    }
    return findings;
}

ConsoleReplay consoleReplay(const std::string &log, const IniValueArray &start)
{
    ConsoleReplay result;
    Module1 m;
    setStartColours(m);
    IniValues read;
    read.values = start;
    read.count = kIniValueCount;
    Module1 scratch;
    if (!applyIni(scratch, read, kIniFileName).ok()) {
        result.differences.push_back("atc.ini values refused");
        return result;
    }
    bool downloaded = false;
    std::istringstream in(log);
    std::string line;
    int lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.empty())
            continue;
        if (line[0] == '#') {
            const std::size_t note = line.find(kNoteMark);
            if (note == std::string::npos)
                continue;
            const std::string text = line.substr(note + kNoteMark.size());
            if (text.rfind(kOperator, 0) == 0 && !operatorActs(m, text.substr(kOperator.size())))
                result.differences.push_back(where + "unknown operator action: " + text);
            continue;
        }
        const ParsedLogLine parsed = parseLogLine(line);
        if (!parsed.ok) {
            result.differences.push_back(where + parsed.error);
            continue;
        }
        const TrafficRecord &r = parsed.record;
        if (r.direction == Direction::FromController) {
            statusEvent(m, r.bytes, kBarFrame);
            continue;
        }
        if (!downloaded) {
            // Transfer: the download goes out, then the trains are placed as atc.ini says.
            downloaded = true;
            startCycle(m, positionsOf(scratch));
            continue;
        }
        const std::vector<std::uint8_t> sent = commandTick(m, false).bytes;
        ++result.framesCompared;
        if (sent != r.bytes)
            result.differences.push_back(where + "expected " + hexBytes(r.bytes) + ", sent " +
                                         hexBytes(sent));
    }
    return result;
}

} // namespace relm::verify
