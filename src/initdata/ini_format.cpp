#include "initdata/ini_format.h"

#include <algorithm>
#include <limits>

namespace relm {

namespace {

constexpr std::size_t kBadTextMax = 24;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// An optional sign and at least one decimal digit, nothing else, within 32 bits.
bool parseInteger(std::string_view s, std::int32_t &out)
{
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return false;
    // Accumulate the magnitude; -2147483648 is the one value whose magnitude exceeds the maximum.
    const std::int64_t limit =
        std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0);
    std::int64_t magnitude = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit)
            return false;
    }
    out = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

} // namespace

IniValues parseIni(std::string_view text)
{
    IniValues r;
    std::size_t pos = 0;
    int line = 1;
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        pos = 3;

    while (r.count < kIniValueCount) {
        // Blanks and empty lines before a value.
        while (pos < text.size() && (isBlank(text[pos]) || isLineEnd(text[pos]))) {
            if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n')
                ++pos;
            if (isLineEnd(text[pos]))
                ++line;
            ++pos;
        }
        if (pos == text.size()) {
            r.stop = IniStop::EndOfFile;
            r.stopLine = line;
            r.stopOffset = pos;
            return r;
        }

        const std::size_t start = pos;
        while (pos < text.size() && text[pos] != ',' && !isLineEnd(text[pos]))
            ++pos;
        const std::string_view field = trimBlanks(text.substr(start, pos - start));
        if (pos < text.size() && text[pos] == ',')
            ++pos;

        std::int32_t value = 0;
        if (!parseInteger(field, value)) {
            r.stop = IniStop::NotANumber;
            r.stopLine = line;
            r.stopOffset = start;
            r.badText = std::string(field.substr(0, kBadTextMax));
            return r;
        }
        r.values[static_cast<std::size_t>(r.count)] = value;
        r.lines[static_cast<std::size_t>(r.count)] = line;
        ++r.count;
    }
    r.stop = IniStop::Complete;
    r.stopLine = line;
    r.stopOffset = pos;
    return r;
}

std::string formatIniValue(std::int32_t value)
{
    const std::int64_t wide = value;
    std::string s = wide < 0 ? "-" : " ";
    s += std::to_string(wide < 0 ? -wide : wide);
    s += " \r\n";
    return s;
}

std::string formatIni(const IniValueArray &values)
{
    std::string s;
    s.reserve(values.size() * 5);
    for (const std::int32_t v : values)
        s += formatIniValue(v);
    return s;
}

IniValueArray dialogValues(const IniValues &read)
{
    IniValueArray shown{};
    for (int i = 0; i < read.count && i < kIniValueCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        shown[k] = std::clamp(read.values[k], 0, iniFieldMax(i));
    }
    return shown;
}

} // namespace relm
