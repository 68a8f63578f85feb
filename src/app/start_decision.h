#pragma once

// What relm does at start, before any window: connect as the command line says, connect as
// remembered, or ask the operator in the connection dialog.

#include "app/command_line.h"
#include "app/start_settings.h"

#include <QString>

#include <functional>

namespace relm {

// Why a serial device or a layout directory cannot be used, for the operator; empty when it can.
struct OpenProblem
{
    QString text;
    bool permission = false; // the device exists but this user may not open it

    bool empty() const { return text.isEmpty(); }
    bool operator==(const OpenProblem &) const = default;
};

enum class StartRoute {
    CommandLine, // --port or --simulate: as given, without the dialog and without the settings
    Remembered,  // the remembered connection and layout work
    Dialog       // the operator chooses in the connection dialog
};

struct StartDecision
{
    StartRoute route = StartRoute::Dialog;
    OpenProblem portProblem; // why the remembered device cannot be used, for the dialog to say
    QString layoutProblem;   // why the remembered layout directory cannot be used

    bool operator==(const StartDecision &) const = default;
};

// Tries whether a device can be opened (and closes it again).
using PortCheck = std::function<OpenProblem(const QString &device)>;
// Why a directory cannot be the layout directory; empty when it can.
using LayoutCheck = std::function<QString(const QString &dir)>;

// The remembered layout is looked at only without --layout, the remembered device only when the
// rest allows starting without the dialog; neither is looked at with --port or --simulate.
StartDecision decideStart(const ConsoleOptions &options, const StartSettings &remembered,
                          const PortCheck &checkPort, const LayoutCheck &checkLayout);

} // namespace relm
