#pragma once

// The WiThrottle server: phone apps and hand throttles drive the trains through the console.
// This is all the rest of the program sees of it; sockets, sessions and the mDNS advertisement
// stay behind this interface.

#include <QHostAddress>
#include <QString>

#include <memory>

namespace relm {

class Console;

class WiThrottle
{
public:
    virtual ~WiThrottle() = default;

    // Serves throttles for console on address:port (port 0 picks a free one) in this thread's
    // event loop, and beyond loopback advertises the service over mDNS. Nothing, with the
    // reason, if it cannot listen there.
    static std::unique_ptr<WiThrottle> start(Console &console, const QHostAddress &address,
                                             quint16 port, QString *error);

    virtual QHostAddress address() const = 0;
    virtual quint16 port() const = 0;
    // ADDRESS:PORT as --withrottle prints it ([ADDRESS]:PORT for IPv6).
    QString endpoint() const;
};

} // namespace relm
