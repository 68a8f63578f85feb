#pragma once

// The serial ports a person can choose the track controller's line from, and whether one can be
// opened, in the words the console uses when it cannot open its line.

#include "app/start_decision.h"

#include <QList>
#include <QString>

namespace relm {

// One serial port as the system describes it.
struct SerialPortEntry
{
    QString device;       // what the console opens, e.g. /dev/ttyUSB0 or COM3
    QString description;  // e.g. FT232R USB UART
    QString manufacturer; // e.g. FTDI
    QString serialNumber; // the adapter's own, e.g. A10K3Z9Q

    bool operator==(const SerialPortEntry &) const = default;
};

// "/dev/ttyUSB0 — FT232R USB UART (FTDI, A10K3Z9Q)"; parts the system does not know are left out.
QString portLabel(const SerialPortEntry &port);

// The serial ports present now: adapters the system can name first, then by device name.
QList<SerialPortEntry> presentSerialPorts();

// "シリアルポート DEVICE を開けません: REASON", the start of the message relm ends with when its
// line cannot be opened.
QString portOpenMessage(const QString &device, const QString &reason);

// Opens the device as the console would, and closes it again at once; nothing is sent.
OpenProblem serialPortProblem(const QString &device);

// The name of the user relm runs as, for the command that gives it the serial ports.
QString currentUserName();

// What a user who may not open serial ports does about it: permissionCommand(), then log in
// again.
QString permissionAdvice(const QString &userName);
// "sudo adduser NAME dialout"; the shell's $USER when the name is not known.
QString permissionCommand(const QString &userName);

} // namespace relm
