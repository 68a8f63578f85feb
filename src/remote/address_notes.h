#pragma once

#include <QString>

#include <map>

namespace relm {

// At most one note a minute about each address, however often it gives cause: the traffic
// log must not fill because a stranger keeps knocking. The next note says how many were held
// back in between.
class AddressNotes final
{
public:
    static constexpr qint64 kSpacingMs = 60000;

    // Whether a note about address is due at time now (ms); if so, heldBack is how many were
    // not noted since the last.
    bool due(const QString &address, qint64 now, int *heldBack);

private:
    struct Entry
    {
        qint64 lastMs = 0;
        int heldBack = 0;
    };
    std::map<QString, Entry> m_entries;
};

} // namespace relm
