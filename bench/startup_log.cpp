#include "startup_log.h"

#include <charconv>

namespace relm::bench {

namespace {

constexpr std::string_view kFlushing = " qt.widgets.painting Flushing QRegion(";

} // namespace

std::optional<double> flushSeconds(std::string_view line, std::string_view className)
{
    const std::size_t flush = line.find(kFlushing);
    if (flush == std::string_view::npos)
        return std::nullopt;
    // The region's text never holds " of ", so the first one after it names the window.
    const std::size_t of = line.find(" of ", flush + kFlushing.size());
    if (of == std::string_view::npos)
        return std::nullopt;
    const std::string_view window = line.substr(of + 4);
    if (window.size() <= className.size() || window.substr(0, className.size()) != className ||
        window[className.size()] != '(')
        return std::nullopt;

    std::string_view stamp = line.substr(0, flush);
    const std::size_t digits = stamp.find_first_not_of(' ');
    if (digits == std::string_view::npos)
        return std::nullopt;
    stamp.remove_prefix(digits);
    double seconds = 0;
    const auto [end, error] = std::from_chars(stamp.data(), stamp.data() + stamp.size(), seconds);
    if (error != std::errc{} || end != stamp.data() + stamp.size())
        return std::nullopt;
    return seconds;
}

void StartupLog::observe(std::string_view line)
{
    if (!m_main)
        m_main = flushSeconds(line, "relm::Form1");
    if (!m_map)
        m_map = flushSeconds(line, "relm::Form3");
}

} // namespace relm::bench
