// Shows the connection dialog with the serial ports named on the command line, as the machine
// would list them, for the screenshots in docs/ (no real adapter needed):
//   connection_dialog_preview LAYOUT_DIR ["[!]DEVICE|DESCRIPTION|MANUFACTURER|SERIAL" ...]
// The first port is the remembered one. OK opens no port: it closes the dialog, or for a port
// marked with ! shows what a user who may not open it is told.

#include "app/connection_dialog.h"

#include <QApplication>
#include <QStyleFactory>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fputs("usage: connection_dialog_preview LAYOUT_DIR "
                   "[\"[!]DEVICE|DESCRIPTION|MANUFACTURER|SERIAL\" ...]\n",
                   stderr);
        return 2;
    }
    QList<relm::SerialPortEntry> ports;
    QStringList denied;
    for (const QString &arg : args.mid(2)) {
        QStringList parts = arg.split(u'|');
        if (parts[0].startsWith(u'!'))
            denied << (parts[0] = parts[0].mid(1));
        ports.append({parts.value(0), parts.value(1), parts.value(2), parts.value(3)});
    }
    relm::DialogStart start;
    start.layoutDir = args[1];
    start.remembered.recentLayouts = {args[1]};
    if (!ports.isEmpty())
        start.remembered.connection = relm::Connection{false, ports.first().device};
    const auto check = [denied](const QString &device) {
        if (!denied.contains(device))
            return relm::OpenProblem{};
        const QString reason = QStringLiteral("%1 を使う権限がありません（Permission denied）。"
                                              "dialout グループに入っているか確かめてください。")
                                   .arg(device);
        return relm::OpenProblem{relm::portOpenMessage(device, reason), true};
    };
    relm::ConnectionDialog dialog(
        start, [ports] { return ports; }, check);
    dialog.move(40, 40);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
}
