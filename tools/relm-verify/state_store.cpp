#include "state_store.h"

#include <stdexcept>

namespace relm::verify {

namespace {
constexpr std::size_t kFirstSlots = std::size_t{1} << 20;
}

StateStore::StateStore()
    : m_slots(kFirstSlots, 0)
    , m_mask(kFirstSlots - 1)
{}

std::optional<std::uint32_t> StateStore::add(const PackedState &s, std::uint32_t parent,
                                             std::uint16_t label)
{
    // Kept at most half full, so that probes stay short.
    if (2 * (m_states.size() + 1) > m_slots.size())
        grow();
    std::size_t k = hashState(s) & m_mask;
    while (m_slots[k] != 0) {
        if (m_states[m_slots[k] - 1] == s)
            return std::nullopt;
        k = (k + 1) & m_mask;
    }
    if (m_states.size() >= kNoParent - 1)
        throw std::runtime_error("relm-verify: more states than the store can number");
    const auto index = static_cast<std::uint32_t>(m_states.size());
    m_states.push_back(s);
    m_parent.push_back(parent);
    m_label.push_back(label);
    m_slots[k] = index + 1;
    return index;
}

void StateStore::grow()
{
    std::vector<std::uint32_t> slots(2 * m_slots.size(), 0);
    const std::size_t mask = slots.size() - 1;
    for (std::uint32_t i = 0; i < m_states.size(); ++i) {
        std::size_t k = hashState(m_states[i]) & mask;
        while (slots[k] != 0)
            k = (k + 1) & mask;
        slots[k] = i + 1;
    }
    m_slots = std::move(slots);
    m_mask = mask;
}

std::size_t StateStore::bytes() const
{
    return m_states.capacity() * sizeof(PackedState) +
           m_parent.capacity() * sizeof(std::uint32_t) +
           m_label.capacity() * sizeof(std::uint16_t) + m_slots.capacity() * sizeof(std::uint32_t);
}

} // namespace relm::verify
