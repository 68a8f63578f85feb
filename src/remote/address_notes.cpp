#include "remote/address_notes.h"

namespace relm {

namespace {

constexpr std::size_t kRememberedAddresses = 1024;

} // namespace

bool AddressNotes::due(const QString &address, qint64 now, int *heldBack)
{
    if (m_entries.size() >= kRememberedAddresses) {
        std::erase_if(m_entries,
                      [now](const auto &entry) { return now - entry.second.lastMs >= kSpacingMs; });
    }
    const auto it = m_entries.find(address);
    if (it == m_entries.end() && m_entries.size() >= kRememberedAddresses)
        return false; // a thousand addresses within a minute: their notes say enough
    if (it != m_entries.end() && now - it->second.lastMs < kSpacingMs) {
        ++it->second.heldBack;
        return false;
    }
    *heldBack = it == m_entries.end() ? 0 : it->second.heldBack;
    m_entries[address] = Entry{now, 0};
    return true;
}

} // namespace relm
