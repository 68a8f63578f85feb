#pragma once

// Reading the console's own paint log to tell when its windows first reached the screen. The
// console runs with QT_LOGGING_RULES=qt.widgets.painting=true and
// QT_MESSAGE_PATTERN="%{time boot} %{category} %{message}"; a window has painted once a line
// "<seconds> qt.widgets.painting Flushing QRegion(...) of <class>(0x...)" names it.

#include <optional>
#include <string>
#include <string_view>

namespace relm::bench {

inline constexpr const char *kPaintLogRules = "qt.widgets.painting=true";
inline constexpr const char *kPaintLogPattern = "%{time boot} %{category} %{message}";

// The time stamp of a line that reports the top-level flush of a window of className (for
// example "relm::Form1"); nothing for any other line.
std::optional<double> flushSeconds(std::string_view line, std::string_view className);

// The first flush of the main window and of the map window, as lines arrive.
class StartupLog final
{
public:
    void observe(std::string_view line);

    bool complete() const { return m_main.has_value() && m_map.has_value(); }
    std::optional<double> mainPainted() const { return m_main; }
    std::optional<double> mapPainted() const { return m_map; }

private:
    std::optional<double> m_main;
    std::optional<double> m_map;
};

} // namespace relm::bench
