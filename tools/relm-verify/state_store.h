#pragma once

// Every state found, stored once, packed, in the order found; with the step that first led to
// it, so that the shortest way to any state can be read back. A flat open-addressing table of
// 32-bit indices finds a state by its hash.

#include "verify_state.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace relm::verify {

inline constexpr std::uint32_t kNoParent = 0xFFFFFFFF;

class StateStore final
{
public:
    StateStore();

    // Adds the state unless it is known; returns its index if it is new.
    std::optional<std::uint32_t> add(const PackedState &s, std::uint32_t parent, std::uint16_t label);

    std::size_t size() const { return m_states.size(); }
    const PackedState &state(std::uint32_t k) const { return m_states[k]; }
    std::uint32_t parent(std::uint32_t k) const { return m_parent[k]; }
    std::uint16_t label(std::uint32_t k) const { return m_label[k]; }

    // Bytes the store holds now.
    std::size_t bytes() const;

private:
    void grow();

    std::vector<PackedState> m_states;
    std::vector<std::uint32_t> m_parent;
    std::vector<std::uint16_t> m_label;
    std::vector<std::uint32_t> m_slots; // state index + 1, 0 for an empty slot
    std::size_t m_mask = 0;
};

} // namespace relm::verify
