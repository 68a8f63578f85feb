#pragma once

// The remote panel: the layout in a web browser, with operation for pages that carry the
// operator's token. This is all the rest of the program sees of it; how it serves HTTP and
// WebSockets stays behind this interface.

#include "map/map_geometry.h"

#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <memory>

namespace relm {

class Console;

class RemotePanel
{
public:
    virtual ~RemotePanel() = default;

    // Serves the panel for console on address:port (port 0 picks a free one) in this thread's
    // event loop. Nothing, with the reason, if it cannot listen there.
    static std::unique_ptr<RemotePanel> start(Console &console, const QHostAddress &address,
                                              quint16 port, QString *error);

    virtual QUrl viewUrl() const = 0;    // watch only
    virtual QUrl controlUrl() const = 0; // with the token: operate

    // Serves the page in English, from this translation file, to browsers that prefer English.
    // False when the file cannot be loaded: every browser then gets the page in Japanese.
    virtual bool loadEnglish(const QString &qmFile) = 0;

    // The map the console's map window has just loaded; pages redraw theirs from it.
    virtual void setMap(const MapGeometry &map) = 0;
};

// Parses [ADDRESS:]PORT as --serve takes it: the address defaults to 127.0.0.1, an IPv6 address
// is written in brackets ([::1]:8080), the port is 0..65535. False, with the reason, otherwise.
bool parseServeAddress(const QString &text, QHostAddress *address, quint16 *port, QString *error);

} // namespace relm
