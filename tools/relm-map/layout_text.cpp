#include "layout_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>

namespace relm {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr std::int64_t kInt16Max = std::numeric_limits<std::int16_t>::max();

std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v'; };
    while (i < line.size()) {
        while (i < line.size() && blank(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !blank(line[i]))
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::optional<std::int64_t> toInteger(std::string_view s)
{
    std::int64_t value = 0;
    const char *end = s.data() + s.size();
    const auto [ptr, ec] = std::from_chars(s.data(), end, value);
    if (ec != std::errc() || ptr != end || s.empty())
        return std::nullopt;
    return value;
}

std::string quoted(std::string_view word)
{
    std::string s(1, '\'');
    s += word;
    s += '\'';
    return s;
}

// Reads the words of one line, collecting the first error.
class LineReader final
{
public:
    LineReader(std::vector<std::string_view> words, int line, std::vector<LayoutError> &errors)
        : m_words(std::move(words))
        , m_line(line)
        , m_errors(errors)
    {}

    bool failed() const { return m_failed; }
    bool atEnd() const { return m_pos >= m_words.size(); }
    std::string_view peek() const { return atEnd() ? std::string_view() : m_words[m_pos]; }
    void skip() { ++m_pos; }

    void fail(std::string message)
    {
        if (!m_failed)
            m_errors.push_back({m_line, std::move(message)});
        m_failed = true;
    }

    bool keyword(std::string_view word, std::string_view after)
    {
        if (peek() == word) {
            skip();
            return true;
        }
        fail("expected " + quoted(word) + " after " + std::string(after) + ", found " +
             (atEnd() ? std::string("the end of the line") : quoted(peek())));
        return false;
    }

    std::optional<std::int64_t> integer(std::string_view what, std::int64_t min, std::int64_t max)
    {
        if (atEnd()) {
            fail("expected " + std::string(what) + ", found the end of the line");
            return std::nullopt;
        }
        const std::string_view word = m_words[m_pos++];
        const auto value = toInteger(word);
        if (!value) {
            fail("expected " + std::string(what) + " as a whole number, found " + quoted(word));
            return std::nullopt;
        }
        if (*value < min || *value > max) {
            fail(std::string(what) + " " + std::string(word) + " is outside " +
                 std::to_string(min) + ".." + std::to_string(max));
            return std::nullopt;
        }
        return value;
    }

    std::optional<MapPoint> point(std::string_view after)
    {
        if (atEnd()) {
            fail("expected a point x,y after " + std::string(after) +
                 ", found the end of the line");
            return std::nullopt;
        }
        const std::string_view word = m_words[m_pos++];
        const std::size_t comma = word.find(',');
        const auto x =
            comma == std::string_view::npos ? std::nullopt : toInteger(word.substr(0, comma));
        const auto y =
            comma == std::string_view::npos ? std::nullopt : toInteger(word.substr(comma + 1));
        if (!x || !y) {
            fail("expected a point x,y after " + std::string(after) + ", found " + quoted(word));
            return std::nullopt;
        }
        for (const std::int64_t v : {*x, *y}) {
            if (v < kInt32Min || v > kInt32Max) {
                fail("coordinate " + std::to_string(v) + " in " + quoted(word) +
                     " is outside the 32-bit range");
                return std::nullopt;
            }
        }
        return MapPoint{static_cast<std::int32_t>(*x), static_cast<std::int32_t>(*y)};
    }

    // Points up to the end of the line or up to the word stop.
    std::vector<MapPoint> points(std::string_view after, std::string_view stop)
    {
        std::vector<MapPoint> result;
        while (!atEnd() && peek() != stop && !m_failed) {
            if (const auto p = point(after))
                result.push_back(*p);
        }
        return result;
    }

    void expectEnd(std::string_view after)
    {
        if (!atEnd())
            fail("unexpected " + quoted(peek()) + " after " + std::string(after));
    }

private:
    std::vector<std::string_view> m_words;
    std::size_t m_pos = 0;
    int m_line;
    std::vector<LayoutError> &m_errors;
    bool m_failed = false;
};

class LayoutParser final
{
public:
    LayoutParseResult parse(std::string_view text)
    {
        int line = 0;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t newline = text.find('\n', start);
            const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
            std::string_view content = text.substr(start, end - start);
            ++line;
            if (const std::size_t hash = content.find('#'); hash != std::string_view::npos)
                content = content.substr(0, hash);
            parseLine(splitWords(content), line);
            if (newline == std::string_view::npos)
                break;
            start = newline + 1;
        }
        if (m_polygonsLine == 0)
            m_result.errors.push_back({0, "no 'polygons' line gives the number of polygons"});
        m_result.geometry.MapPolyCount = m_result.geometry.MapPointCount[kMapPolyCountSlot];
        return std::move(m_result);
    }

private:
    void parseLine(std::vector<std::string_view> words, int line)
    {
        if (words.empty())
            return;
        LineReader in(std::move(words), line, m_result.errors);
        const std::string_view keyword = in.peek();
        in.skip();
        if (keyword == "polygons")
            parsePolygons(in, line);
        else if (keyword == "poly")
            parsePoly(in, line);
        else if (keyword == "spare")
            parseSpare(in, line);
        else
            in.fail("unknown keyword " + quoted(keyword) +
                    "; a line starts with 'polygons', 'poly' or 'spare'");
    }

    void parsePolygons(LineReader &in, int line)
    {
        const auto n = in.integer("the number of polygons", kInt16Min, kInt16Max);
        if (!n)
            return;
        in.expectEnd("the number of polygons");
        if (in.failed())
            return;
        if (m_polygonsLine != 0) {
            in.fail("'polygons' is already given on line " + std::to_string(m_polygonsLine));
            return;
        }
        m_polygonsLine = line;
        m_result.geometry.MapPointCount[kMapPolyCountSlot] = static_cast<std::int16_t>(*n);
    }

    void parsePoly(LineReader &in, int line)
    {
        const auto d = in.integer("polygon number", 0, kMapMaxPolygons - 1);
        if (!d)
            return;
        std::optional<std::int64_t> count;
        if (in.peek() == "count") {
            in.skip();
            count = in.integer("count", kInt16Min, kInt16Max);
            if (!count)
                return;
        }
        if (!in.keyword("label", "the polygon number"))
            return;
        const auto label = in.point("'label'");
        if (!label || !in.keyword("points", "the label"))
            return;
        std::vector<MapPoint> drawn = in.points("'points'", "unused");
        std::vector<MapPoint> unused;
        if (!in.failed() && in.peek() == "unused") {
            in.skip();
            unused = in.points("'unused'", {});
        }
        if (in.failed())
            return;

        const std::string name = "polygon " + std::to_string(*d);
        const std::size_t total = drawn.size() + unused.size();
        if (total > kMapPointsPerSlot) {
            in.fail(name + " has " + std::to_string(total) + " points; a slot holds at most " +
                    std::to_string(kMapPointsPerSlot));
            return;
        }
        if (count) {
            const auto shown =
                static_cast<std::size_t>(std::clamp<std::int64_t>(*count, 0, kMapPointsPerSlot));
            if (drawn.size() != shown) {
                in.fail("count " + std::to_string(*count) + " draws " + std::to_string(shown) +
                        " points but " + std::to_string(drawn.size()) +
                        " are listed under 'points'");
                return;
            }
        }
        if (!claim(in, static_cast<int>(*d), line, name))
            return;

        MapGeometry &g = m_result.geometry;
        const auto slot = static_cast<std::size_t>(*d);
        g.MapPointCount[slot] =
            static_cast<std::int16_t>(count ? *count : static_cast<std::int64_t>(drawn.size()));
        g.MapLabelPos[slot] = *label;
        drawn.insert(drawn.end(), unused.begin(), unused.end());
        std::copy(drawn.begin(), drawn.end(), g.MapPoints.begin() + slotStart(slot));
    }

    void parseSpare(LineReader &in, int line)
    {
        if (!in.keyword("label", "'spare'"))
            return;
        const auto label = in.point("'label'");
        if (!label)
            return;
        std::vector<MapPoint> unused;
        if (!in.atEnd()) {
            if (!in.keyword("unused", "the label"))
                return;
            unused = in.points("'unused'", {});
        }
        if (in.failed())
            return;
        if (unused.size() > kMapPointsPerSlot) {
            in.fail("the spare slot has " + std::to_string(unused.size()) +
                    " points; a slot holds at most " + std::to_string(kMapPointsPerSlot));
            return;
        }
        if (!claim(in, kMapPolyCountSlot, line, "the spare slot"))
            return;
        MapGeometry &g = m_result.geometry;
        g.MapLabelPos[kMapPolyCountSlot] = *label;
        std::copy(unused.begin(), unused.end(), g.MapPoints.begin() + slotStart(kMapPolyCountSlot));
    }

    bool claim(LineReader &in, int slot, int line, const std::string &name)
    {
        const auto [it, fresh] = m_slotLines.emplace(slot, line);
        if (!fresh)
            in.fail(name + " is already described on line " + std::to_string(it->second));
        return fresh;
    }

    static std::ptrdiff_t slotStart(std::size_t slot)
    {
        return static_cast<std::ptrdiff_t>(slot * kMapPointsPerSlot);
    }

    LayoutParseResult m_result;
    std::map<int, int> m_slotLines; // slot -> line that described it
    int m_polygonsLine = 0;
};

std::string pointText(MapPoint p)
{
    return std::to_string(p.x) + "," + std::to_string(p.y);
}

} // namespace

LayoutParseResult parseLayoutText(std::string_view text)
{
    return LayoutParser().parse(text);
}

std::string formatLayoutText(const MapGeometry &geometry)
{
    const auto slotPoints = [&](std::size_t slot) {
        return std::span<const MapPoint>(geometry.MapPoints)
            .subspan(slot * kMapPointsPerSlot, kMapPointsPerSlot);
    };
    // Index just past the last point of the slot that is not 0,0.
    const auto usedEnd = [](std::span<const MapPoint> points) {
        std::size_t end = points.size();
        while (end > 0 && points[end - 1] == MapPoint{})
            --end;
        return end;
    };
    const auto appendPoints = [](std::string &out, std::span<const MapPoint> points) {
        for (const MapPoint &p : points) {
            out += ' ';
            out += pointText(p);
        }
    };

    std::string out = "# section map: polygons 0..N-1 are drawn; polygon 8r+s is section s of "
                      "route r\n";
    out += "polygons " + std::to_string(geometry.MapPointCount[kMapPolyCountSlot]) + "\n";

    for (std::size_t slot = 0; slot < kMapMaxPolygons; ++slot) {
        const auto points = slotPoints(slot);
        const std::int16_t count = geometry.MapPointCount[slot];
        const MapPoint label = geometry.MapLabelPos[slot];
        const std::size_t used = usedEnd(points);
        if (count == 0 && used == 0 && label == MapPoint{})
            continue;
        const auto drawn = static_cast<std::size_t>(std::clamp<int>(count, 0, kMapPointsPerSlot));
        out += "poly " + std::to_string(slot);
        if (count < 0 || count > kMapPointsPerSlot)
            out += " count " + std::to_string(count);
        out += " label " + pointText(label) + " points";
        appendPoints(out, points.first(drawn));
        if (used > drawn) {
            out += " unused";
            appendPoints(out, points.subspan(drawn, used - drawn));
        }
        out += "\n";
    }

    const auto spare = slotPoints(kMapPolyCountSlot);
    const MapPoint spareLabel = geometry.MapLabelPos[kMapPolyCountSlot];
    const std::size_t spareUsed = usedEnd(spare);
    if (spareUsed > 0 || spareLabel != MapPoint{}) {
        out += "spare label " + pointText(spareLabel);
        if (spareUsed > 0) {
            out += " unused";
            appendPoints(out, spare.first(spareUsed));
        }
        out += "\n";
    }
    return out;
}

} // namespace relm
