#include "app/start_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace relm {

namespace {

// The texts of this file, for translation.
class SettingsText
{
    Q_DECLARE_TR_FUNCTIONS(SettingsText)
};

// A person's settings file is small; anything larger was not written by relm.
constexpr qint64 kMaxFileBytes = 64 * 1024;
// Longer than any device or directory name a system allows.
constexpr qsizetype kMaxPathLength = 4096;

const QString kKind = QStringLiteral("connection/kind");
const QString kPort = QStringLiteral("connection/port");
const QString kLayout = QStringLiteral("layout/directory");
const QString kRecent = QStringLiteral("layout/recent");
const QString kPortKind = QStringLiteral("port");
const QString kSimulatorKind = QStringLiteral("simulator");

// A device or directory name as the file may hold it: not empty, of a sane length, and without
// control characters (which no path the operator chose contains).
bool plausiblePath(const QString &path)
{
    if (path.isEmpty() || path.size() > kMaxPathLength)
        return false;
    return std::none_of(path.begin(), path.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The value of key as one string; a list or any other type is no string.
QString stringValue(const QSettings &file, const QString &key)
{
    const QVariant v = file.value(key);
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

} // namespace

QString settingsFilePath(const QString &xdgConfigHome, const QString &home)
{
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    const QString base =
        QDir::isAbsolutePath(xdgConfigHome) ? xdgConfigHome : home + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/relm/relm.ini"));
}

QString settingsFilePath()
{
#ifdef _WIN32
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/relm/relm.ini");
#else
    return settingsFilePath(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
#endif
}

SettingsRead readStartSettings(const QString &path)
{
    SettingsRead read;
    const QFileInfo info(path);
    if (!info.exists())
        return read;
    const QString shown = QDir::toNativeSeparators(path);
    const QString empty = SettingsText::tr("前回の設定は使わずに始めます。");
    if (!info.isFile() || !info.isReadable()) {
        read.problem = SettingsText::tr("設定ファイル %1 を読めません。").arg(shown) + empty;
        return read;
    }
    if (info.size() > kMaxFileBytes) {
        read.problem = SettingsText::tr("設定ファイル %1 が大きすぎます（%2 バイト）。")
                           .arg(shown)
                           .arg(info.size()) +
                       empty;
        return read;
    }
    const QSettings file(path, QSettings::IniFormat);
    // The file is parsed on the first look at its keys; only then does status() tell.
    const QStringList keys = file.allKeys();
    if (file.status() != QSettings::NoError) {
        read.problem = SettingsText::tr("設定ファイル %1 が壊れています。").arg(shown) + empty;
        return read;
    }

    QStringList ignored; // keys whose values cannot be used
    StartSettings &s = read.settings;
    const QVariant kind = file.value(kKind);
    if (kind.isValid()) {
        const QString k = stringValue(file, kKind);
        const QString port = stringValue(file, kPort);
        if (k == kSimulatorKind)
            s.connection = Connection{true, {}};
        else if (k == kPortKind && plausiblePath(port))
            s.connection = Connection{false, port};
        else
            ignored << kKind;
    }
    if (keys.contains(kLayout)) {
        const QString dir = stringValue(file, kLayout);
        if (plausiblePath(dir) && QDir::isAbsolutePath(dir))
            s.layoutDir = QDir::cleanPath(dir);
        else
            ignored << kLayout;
    }
    // One entry comes back as a string, several as a list.
    for (const QString &dir : file.value(kRecent).toStringList()) {
        if (!plausiblePath(dir) || !QDir::isAbsolutePath(dir)) {
            if (!ignored.contains(kRecent))
                ignored << kRecent;
            continue;
        }
        const QString clean = QDir::cleanPath(dir);
        if (s.recentLayouts.size() < kRecentLayouts && !s.recentLayouts.contains(clean))
            s.recentLayouts << clean;
    }
    if (!ignored.isEmpty()) {
        read.problem = SettingsText::tr("設定ファイル %1 の %2 は使えない値なので、無視します。")
                           .arg(shown, ignored.join(QStringLiteral(", ")));
    }
    return read;
}

bool writeStartSettings(const QString &path, const StartSettings &settings, QString *error)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = SettingsText::tr("設定ファイルのフォルダ %1 を作れません。")
                     .arg(QDir::toNativeSeparators(info.absolutePath()));
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.clear();
    if (settings.connection) {
        const Connection &c = *settings.connection;
        file.setValue(kKind, c.simulator ? kSimulatorKind : kPortKind);
        if (!c.simulator)
            file.setValue(kPort, c.port);
    }
    if (!settings.layoutDir.isEmpty())
        file.setValue(kLayout, settings.layoutDir);
    if (!settings.recentLayouts.isEmpty())
        file.setValue(kRecent, settings.recentLayouts);
    file.sync();
    if (file.status() != QSettings::NoError) {
        *error = SettingsText::tr("設定ファイル %1 に書き込めません。").arg(shown);
        return false;
    }
    return true;
}

QStringList withRecentLayout(const QStringList &recent, const QString &dir)
{
    const QString clean = QDir::cleanPath(dir);
    QStringList out{clean};
    for (const QString &d : recent) {
        if (out.size() == kRecentLayouts)
            break;
        if (QDir::cleanPath(d) != clean)
            out << d;
    }
    return out;
}

} // namespace relm
