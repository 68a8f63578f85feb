#include "process_memory.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace relm {

std::optional<long> statusFieldKb(std::string_view statusText, std::string_view field)
{
    std::size_t at = 0;
    while (at < statusText.size()) {
        std::size_t end = statusText.find('\n', at);
        if (end == std::string_view::npos)
            end = statusText.size();
        const std::string_view line = statusText.substr(at, end - at);
        at = end + 1;
        if (line.size() <= field.size() || line.substr(0, field.size()) != field ||
            line[field.size()] != ':')
            continue;
        std::string_view rest = line.substr(field.size() + 1);
        const std::size_t digits = rest.find_first_not_of(" \t");
        if (digits == std::string_view::npos)
            return std::nullopt;
        rest.remove_prefix(digits);
        long value = 0;
        const auto [next, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
        if (error != std::errc{} || std::string_view(next, rest.data() + rest.size()) != " kB")
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::string readProcStatus(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<long> residentKb(pid_t pid)
{
    return statusFieldKb(readProcStatus(pid), "VmRSS");
}

std::optional<long> peakResidentKb(pid_t pid)
{
    return statusFieldKb(readProcStatus(pid), "VmHWM");
}

} // namespace relm
