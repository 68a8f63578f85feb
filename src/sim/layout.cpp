#include "sim/layout.h"

#include "model/section_code.h"

namespace relm::sim {

int plainStepAhead(int code)
{
    return stepAhead(travelCode(code), travelCode(code), 1);
}

const PointConnection *connectionAt(int from)
{
    for (const PointConnection &c : kPointConnections) {
        if (c.from == travelCode(from))
            return &c;
    }
    return nullptr;
}

void Layout::setPoint(int p, PointState state)
{
    m_points.at(static_cast<std::size_t>(p)) = state;
}

void Layout::resetPoints()
{
    m_points.fill(PointState::Normal);
}

int Layout::trackAhead(int code) const
{
    const PointConnection *c = connectionAt(code);
    if (c != nullptr && point(c->point) == PointState::Diverging)
        return c->diverging;
    return plainStepAhead(code);
}

} // namespace relm::sim
