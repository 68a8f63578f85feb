#pragma once

// What relm remembers between starts: how it reaches the track controller, the layout directory
// and the layouts used last. An INI file a person can read, relm.ini under $XDG_CONFIG_HOME/relm/:
//
//   [connection]
//   kind=port              (or simulator: the simulated controller, as --simulate)
//   port=/dev/ttyUSB0
//   [layout]
//   directory=/home/me/my-layout
//   recent=/home/me/my-layout, /home/me/club-layout
//
// The file is written only when the operator confirms the connection dialog; options on the
// command line are never saved.

#include <QString>
#include <QStringList>

#include <optional>

namespace relm {

// How the console reaches the track controller.
struct Connection
{
    bool simulator = false; // the simulated controller relm-sim, as --simulate
    QString port;           // the serial device otherwise, e.g. /dev/ttyUSB0

    bool operator==(const Connection &) const = default;
};

struct StartSettings
{
    std::optional<Connection> connection; // none: never chosen
    QString layoutDir;                    // absolute; empty: never chosen
    QStringList recentLayouts;            // newest first, at most kRecentLayouts

    bool operator==(const StartSettings &) const = default;
};

inline constexpr int kRecentLayouts = 5;

struct SettingsRead
{
    StartSettings settings;
    QString problem; // for the operator, empty when the file was read whole or is absent
};

// relm.ini in $XDG_CONFIG_HOME/relm, or in ~/.config/relm when that is unset or not absolute.
QString settingsFilePath(const QString &xdgConfigHome, const QString &home);
// The same for this process (on Windows, the platform's own place for settings).
QString settingsFilePath();

// Reads the file. An absent file is no settings and no problem. A file that cannot be read, is
// too large or is not an INI file is reported and taken as empty; a value that cannot be a device
// or a directory is reported and left out.
SettingsRead readStartSettings(const QString &path);

// Replaces the file with the settings, making its directory if need be. False, with the reason.
bool writeStartSettings(const QString &path, const StartSettings &settings, QString *error);

// The recent layouts once dir has been used: dir first, each directory once, at most five.
QStringList withRecentLayout(const QStringList &recent, const QString &dir);

} // namespace relm
