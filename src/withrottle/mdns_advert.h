#pragma once

// Tells the network that the throttle server is there: service type _withrottle._tcp under the
// name "RELM", through the Avahi daemon, so that throttle apps list it without an address typed
// in. Where no daemon runs it says so once and does nothing more; the server serves anyway.

#include <QCoreApplication>
#include <QString>

#include <functional>
#include <memory>

namespace relm {

class MdnsAdvert final
{
    Q_DECLARE_TR_FUNCTIONS(relm::MdnsAdvert)

public:
    // Hears what became of the advertisement, in the thread that made it.
    using Reporter = std::function<void(const QString &text)>;

    MdnsAdvert(const QString &name, quint16 port, Reporter reporter);
    MdnsAdvert(const MdnsAdvert &) = delete;
    MdnsAdvert &operator=(const MdnsAdvert &) = delete;
    ~MdnsAdvert();

    // False when no daemon could be reached: nothing is advertised.
    bool running() const;

private:
    struct Avahi;
    std::unique_ptr<Avahi> m_avahi;
};

} // namespace relm
