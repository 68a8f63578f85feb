#include "sim/safety_watch.h"

#include <cstdio>

namespace relm::sim {

namespace {

constexpr std::array<std::array<int, 2>, 3> kPairs{{{0, 1}, {0, 2}, {1, 2}}};

// A section both trains cover, or -1; the mover's head section is tried first.
int commonSection(const Cover &a, const Cover &b)
{
    if (!a.present || !b.present)
        return -1;
    for (int s : {a.head, a.tail}) {
        if (s >= 0 && (s == b.head || s == b.tail))
            return s;
    }
    return -1;
}

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

std::string sectionName(int section)
{
    return "route " + std::to_string(section >> 3) + " section " + std::to_string(section & 7);
}

} // namespace

std::string describe(const SafetyEvent &e)
{
    std::string text = formatTime(e.at) + " ";
    switch (e.kind) {
    case SafetyKind::EnteredOccupied:
        text += std::string("train ") + trainName(e.train) + " entered " + sectionName(e.section) +
                " covered by train " + trainName(e.other);
        break;
    case SafetyKind::SharedSection:
        text += std::string("trains ") + trainName(e.train) + " and " + trainName(e.other) +
                " share " + sectionName(e.section);
        break;
    case SafetyKind::RouteFault: {
        char wanted[8];
        std::snprintf(wanted, sizeof wanted, "%02X", e.wanted & 0xFF);
        text += std::string("train ") + trainName(e.train) + " held at the end of " +
                sectionName(e.section) + ": next section " + wanted +
                " is not where the track leads";
        break;
    }
    }
    return text;
}

std::size_t SafetyLog::count(SafetyKind kind) const
{
    std::size_t n = 0;
    for (const SafetyEvent &e : m_events)
        n += e.kind == kind ? 1 : 0;
    return n;
}

std::vector<SafetyEvent> SafetyWatch::update(const std::array<Cover, kTrains> &trains, int mover,
                                             Time now)
{
    std::vector<SafetyEvent> events;
    for (std::size_t p = 0; p < kPairs.size(); ++p) {
        const int a = kPairs[p][0];
        const int b = kPairs[p][1];
        const int first = mover == b ? b : a;
        const int second = first == a ? b : a;
        const int section = commonSection(trains[static_cast<std::size_t>(first)],
                                          trains[static_cast<std::size_t>(second)]);
        const bool overlap = section >= 0;
        if (overlap && !m_overlap[p]) {
            SafetyEvent e;
            e.at = now;
            e.section = section;
            const bool entered =
                mover == first && section == trains[static_cast<std::size_t>(first)].head;
            e.kind = entered ? SafetyKind::EnteredOccupied : SafetyKind::SharedSection;
            e.train = entered ? first : a;
            e.other = entered ? second : b;
            events.push_back(e);
        }
        m_overlap[p] = overlap;
    }
    return events;
}

bool SafetyWatch::sharing(int t) const
{
    for (std::size_t p = 0; p < kPairs.size(); ++p) {
        if (m_overlap[p] && (kPairs[p][0] == t || kPairs[p][1] == t))
            return true;
    }
    return false;
}

} // namespace relm::sim
