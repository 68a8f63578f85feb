#include "sim/line_faults.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace relm::sim {

namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

bool parseDouble(std::string_view text, double &out)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && std::isfinite(out);
}

bool parseRate(std::string_view text, double &out)
{
    return parseDouble(text, out) && out >= 0.0 && out <= 1.0;
}

// "2s", "300ms", "1.5s": a positive length of time in whole milliseconds.
bool parseLength(std::string_view text, Duration &out)
{
    double scale = 0.0;
    if (text.ends_with("ms")) {
        scale = 1e3;
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        scale = 1e6;
        text.remove_suffix(1);
    } else {
        return false;
    }
    double value = 0.0;
    constexpr double kLongest = 1e13; // microseconds, about four months
    if (!parseDouble(text, value) || value <= 0.0 || value * scale > kLongest)
        return false;
    out = Duration{static_cast<std::int64_t>(std::llround(value * scale))};
    return out.count() > 0 && out.count() % 1000 == 0;
}

// "N/S:L": N outages per S seconds, each L long.
bool parseOutage(std::string_view text, FaultSettings &settings)
{
    const std::size_t slash = text.find('/');
    const std::size_t colon = text.find(':');
    if (slash == std::string_view::npos || colon == std::string_view::npos || colon < slash)
        return false;
    double count = 0.0;
    double seconds = 0.0;
    if (!parseDouble(text.substr(0, slash), count) ||
        !parseDouble(text.substr(slash + 1, colon - slash - 1), seconds) || count <= 0.0 ||
        seconds <= 0.0)
        return false;
    if (!parseLength(text.substr(colon + 1), settings.outageLength))
        return false;
    settings.outages = count;
    settings.outagePeriod = seconds;
    return true;
}

// The shortest text that reads back as the same number.
std::string formatNumber(double value)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
}

} // namespace

bool FaultSettings::any() const
{
    return (bit > 0.0 || drop > 0.0 || dup > 0.0 || outagesPerSecond() > 0.0) &&
           (toController || toConsole);
}

FaultSettingsParse parseFaultSettings(std::string_view text)
{
    FaultSettingsParse r;
    FaultSettings &settings = r.settings;
    if (text == "none")
        return r;
    if (text.empty() || text.back() == ',') {
        r.error = "no fault given";
        return r;
    }
    std::string seen = ",";
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        const std::size_t eq = item.find('=');
        double all = 0.0;
        if (eq == std::string_view::npos && parseRate(item, all)) {
            if (seen != ",") {
                r.error = "a bare rate comes first and alone: '" + std::string(item) + "'";
                return r;
            }
            seen += "bit,drop,dup,";
            settings.bit = settings.drop = settings.dup = all;
            continue;
        }
        const std::string_view key = item.substr(0, eq);
        const std::string_view value =
            eq == std::string_view::npos ? std::string_view{} : item.substr(eq + 1);
        const std::string keyText(key);
        if (seen.find("," + keyText + ",") != std::string::npos) {
            r.error = keyText + " is given twice";
            return r;
        }
        seen += keyText + ",";
        bool ok = eq != std::string_view::npos;
        if (key == "bit") {
            ok = ok && parseRate(value, settings.bit);
        } else if (key == "drop") {
            ok = ok && parseRate(value, settings.drop);
        } else if (key == "dup") {
            ok = ok && parseRate(value, settings.dup);
        } else if (key == "outage") {
            ok = ok && parseOutage(value, settings);
        } else if (key == "dir") {
            settings.toController = value == "both" || value == "commands";
            settings.toConsole = value == "both" || value == "status";
            ok = ok && (settings.toController || settings.toConsole);
        } else if (key == "seed") {
            std::uint64_t seed = 0;
            const auto c = std::from_chars(value.data(), value.data() + value.size(), seed);
            ok = ok && c.ec == std::errc() && c.ptr == value.data() + value.size();
            settings.seed = seed;
        } else {
            r.error = "unknown fault '" + std::string(item) +
                      "' (bit, drop, dup, outage, dir or seed)";
            return r;
        }
        if (!ok) {
            r.error = "bad value in '" + std::string(item) +
                      "': rates are 0..1, outage=N/S:L with L like 2s or 300ms, "
                      "dir=both|status|commands, seed=N";
            return r;
        }
    }
    return r;
}

std::string describe(const FaultSettings &settings)
{
    std::string text;
    const auto add = [&text](const std::string &item) {
        text += (text.empty() ? "" : ",") + item;
    };
    if (settings.bit > 0.0)
        add("bit=" + formatNumber(settings.bit));
    if (settings.drop > 0.0)
        add("drop=" + formatNumber(settings.drop));
    if (settings.dup > 0.0)
        add("dup=" + formatNumber(settings.dup));
    if (settings.outagesPerSecond() > 0.0) {
        add("outage=" + formatNumber(settings.outages) + "/" + formatNumber(settings.outagePeriod) + ":" +
            std::to_string(settings.outageLength.count() / 1000) + "ms");
    }
    if (!settings.toController || !settings.toConsole)
        add(std::string("dir=") + (settings.toConsole ? "status" : "commands"));
    if (settings.seed)
        add("seed=" + std::to_string(*settings.seed));
    return text.empty() ? "none" : text;
}

LineFaults::LineFaults(FaultSettings settings, std::uint64_t seed)
    : m_settings(settings)
    , m_random(settings.seed.value_or(seed))
{
    if (!m_settings.any())
        return;
    for (const LineDirection d : {LineDirection::ToController, LineDirection::ToConsole}) {
        auto &countdown = m_countdown[index(d)];
        countdown[kBit].rate = suffers(d) ? m_settings.bit : 0.0;
        countdown[kDrop].rate = suffers(d) ? m_settings.drop : 0.0;
        countdown[kDup].rate = suffers(d) ? m_settings.dup : 0.0;
        for (Countdown &c : countdown)
            c.left = gap(c.rate);
    }
    if (m_settings.outagesPerSecond() > 0.0) {
        m_outageStart = Time{0} + outageSpacing();
        m_outageEnd = m_outageStart + m_settings.outageLength;
    }
}

bool LineFaults::suffers(LineDirection d) const
{
    return d == LineDirection::ToController ? m_settings.toController : m_settings.toConsole;
}

std::uint64_t LineFaults::gap(double rate)
{
    // Bytes before the next fault: geometric, so each byte is hit independently with `rate`.
    if (rate <= 0.0)
        return kNever;
    if (rate >= 1.0)
        return 0;
    const double u = 1.0 - m_random.unit(); // (0, 1]
    const double g = std::floor(std::log(u) / std::log1p(-rate));
    return g >= 1e18 ? kNever : static_cast<std::uint64_t>(g);
}

bool LineFaults::fires(Countdown &c, std::uint64_t bytes)
{
    if (c.left >= bytes) {
        if (c.left != kNever)
            c.left -= bytes;
        return false;
    }
    c.left = gap(c.rate);
    return true;
}

Duration LineFaults::outageSpacing()
{
    const double u = 1.0 - m_random.unit();
    // Capped far beyond any run, so that adding it to a time cannot overflow.
    constexpr double kLongest = 1e17; // microseconds, some three thousand years
    const double micros = -std::log(u) / m_settings.outagesPerSecond() * 1e6;
    return Duration{static_cast<std::int64_t>(std::min(micros, kLongest))};
}

bool LineFaults::inOutage(Time at)
{
    if (m_settings.outagesPerSecond() <= 0.0)
        return false;
    while (at >= m_outageEnd) {
        if (!m_outageCounted)
            ++m_outages;
        m_outageStart = m_outageEnd + outageSpacing();
        m_outageEnd = m_outageStart + m_settings.outageLength;
        m_outageCounted = false;
    }
    if (at < m_outageStart)
        return false;
    if (!m_outageCounted) {
        ++m_outages;
        m_outageCounted = true;
    }
    return true;
}

int LineFaults::copies(LineDirection d, std::size_t bytes)
{
    FaultCounts &counts = m_counts[index(d)];
    ++counts.frames;
    if (bytes == 0 || !m_settings.any() || !suffers(d) ||
        !fires(m_countdown[index(d)][kDup], bytes))
        return 1;
    ++counts.duplicated;
    return 2;
}

void LineFaults::damage(LineDirection d, Time at, std::vector<std::uint8_t> &bytes)
{
    FaultCounts &counts = m_counts[index(d)];
    counts.bytes += bytes.size();
    if (bytes.empty() || !m_settings.any() || !suffers(d))
        return;
    if (inOutage(at)) {
        counts.outageBytes += bytes.size();
        bytes.clear();
        return;
    }
    auto &countdown = m_countdown[index(d)];
    std::size_t kept = 0;
    for (const std::uint8_t b : bytes) {
        if (fires(countdown[kDrop], 1)) {
            ++counts.dropped;
            continue;
        }
        std::uint8_t out = b;
        if (fires(countdown[kBit], 1)) {
            out = static_cast<std::uint8_t>(out ^ (1u << m_random.below(8)));
            ++counts.bitErrors;
        }
        bytes[kept++] = out;
    }
    bytes.resize(kept);
}

} // namespace relm::sim
