#include "app/serial_ports.h"

#include "link/mscomm1.h"

#include <QCollator>
#include <QCoreApplication>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace relm {

namespace {

class PortText
{
    Q_DECLARE_TR_FUNCTIONS(PortText)
};

} // namespace

QString portLabel(const SerialPortEntry &port)
{
    QString label = port.device;
    QStringList more;
    for (const QString &part : {port.manufacturer, port.serialNumber}) {
        if (!part.trimmed().isEmpty())
            more << part.trimmed();
    }
    const QString description = port.description.trimmed();
    if (!description.isEmpty() || !more.isEmpty())
        label += QStringLiteral(" — ");
    label += description;
    if (!more.isEmpty()) {
        if (!description.isEmpty())
            label += u' ';
        label += u'(' + more.join(QStringLiteral(", ")) + u')';
    }
    return label;
}

QList<SerialPortEntry> presentSerialPorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        ports.append(
            {info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()});
    }
    QCollator collator;
    collator.setNumericMode(true); // ttyS2 before ttyS10
    std::stable_sort(ports.begin(), ports.end(),
                     [&collator](const SerialPortEntry &a, const SerialPortEntry &b) {
                         // Adapters whose maker the system knows are what operators plug in.
                         const bool aNamed = !a.manufacturer.isEmpty();
                         const bool bNamed = !b.manufacturer.isEmpty();
                         if (aNamed != bNamed)
                             return aNamed;
                         return collator.compare(a.device, b.device) < 0;
                     });
    return ports;
}

QString portOpenMessage(const QString &device, const QString &reason)
{
    return PortText::tr("シリアルポート %1 を開けません: %2").arg(device, reason);
}

OpenProblem serialPortProblem(const QString &device)
{
    MSComm1 port;
    port.setPortName(device);
    QString reason;
    if (port.open(&reason)) {
        port.close();
        return {};
    }
    return {portOpenMessage(device, reason), deviceAccessDenied(device)};
}

QString currentUserName()
{
#ifndef _WIN32
    if (const passwd *entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name != nullptr)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    return qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"));
}

namespace {
QString shownUser(const QString &userName)
{
    return userName.isEmpty() ? QStringLiteral("$USER") : userName;
}
} // namespace

QString permissionAdvice(const QString &userName)
{
    return PortText::tr("シリアルポートを使えるのは dialout グループのユーザーだけです。"
                        "%1 をこのグループに加えるには、端末で次のコマンドを実行してから、"
                        "ログインし直してください:")
        .arg(shownUser(userName));
}

QString permissionCommand(const QString &userName)
{
    return QStringLiteral("sudo adduser %1 dialout").arg(shownUser(userName));
}

} // namespace relm
