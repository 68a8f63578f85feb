#pragma once

// The servers relm runs beside its windows when the command line asks for them. Each is started
// by a function of its own and commands the console exactly as the windows do.

#include "remote/remote_panel.h"
#include "withrottle/withrottle.h"

#include <QHostAddress>
#include <QString>

#include <memory>

namespace relm {

class Console;
class Form1;

// --serve: the remote panel on address:port, drawing the map the map window loads, its two URLs
// printed on standard output and the control URL shown in the traffic monitor. Nothing, with the
// reason, if it cannot listen there.
std::unique_ptr<RemotePanel> serveRemotePanel(Console &console, Form1 &form,
                                              const QHostAddress &address, quint16 port,
                                              QString *error);

// --withrottle: the throttle server on address:port, its address printed on standard output.
// Nothing, with the reason, if it cannot listen there.
std::unique_ptr<WiThrottle> serveThrottles(Console &console, const QHostAddress &address,
                                           quint16 port, QString *error);

} // namespace relm
