#include "app/start_up.h"

#include "app/connection_dialog.h"
#include "app/layout_directory.h"
#include "app/serial_ports.h"
#include "app/start_decision.h"
#include "app/termination_signals.h"

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>

#include <cstdio>

namespace relm {

namespace {

class StartText
{
    Q_DECLARE_TR_FUNCTIONS(StartText)
};

void warn(const QString &text)
{
    std::fprintf(stderr, "relm: %s\n", text.toLocal8Bit().constData());
}

QString dialogLayoutProblem(const QString &dir)
{
    return layoutDirectoryProblem(dir, LayoutNamedBy::Dialog);
}

// The layout directory the dialog shows first: the one given with --layout (entered already),
// else the remembered one, else the current directory if it is a layout.
QString firstLayout(const ConsoleOptions &options, const StartSettings &remembered)
{
    if (!options.layoutDir.empty() || !remembered.layoutDir.isEmpty())
        return options.layoutDir.empty() ? remembered.layoutDir : QDir::currentPath();
    return dialogLayoutProblem(QDir::currentPath()).isEmpty() ? QDir::currentPath() : QString();
}

} // namespace

std::optional<Connection> establishConnection(const ConsoleOptions &options, int *status)
{
    if (!options.port.empty())
        return Connection{false, QString::fromStdString(options.port)};
    if (options.simulate)
        return Connection{true, {}};

    const QString path = settingsFilePath();
    const SettingsRead read = readStartSettings(path);
    if (!read.problem.isEmpty())
        warn(read.problem);
    const StartDecision decision =
        decideStart(options, read.settings, serialPortProblem, dialogLayoutProblem);
    if (decision.route == StartRoute::Remembered) {
        QString error;
        if (!options.layoutDir.empty() || enterLayoutDirectory(read.settings.layoutDir, &error))
            return read.settings.connection;
    }

    const bool layoutFixed = !options.layoutDir.empty();
    ConnectionDialog dialog({read.settings, firstLayout(options, read.settings), layoutFixed,
                             decision.portProblem, read.problem},
                            presentSerialPorts, serialPortProblem);
    // A termination signal while the dialog is open is Cancel, ending with the signal's status.
    // Without its handlers the signal ends the program by itself, which is as good here.
    int signalNumber = 0;
    QString signalError;
    const auto termination = TerminationSignals::install(&signalError);
    if (termination) {
        QObject::connect(termination.get(), &TerminationSignals::received, &dialog,
                         [&](int number) {
                             signalNumber = number;
                             dialog.reject();
                         });
    }
    if (dialog.exec() != QDialog::Accepted) {
        *status = signalNumber != 0 ? 128 + signalNumber : 1;
        return std::nullopt;
    }
    StartSettings chosen = read.settings;
    chosen.connection = dialog.connection();
    if (!layoutFixed) {
        QString error;
        if (!enterLayoutDirectory(dialog.layoutDir(), &error)) {
            warn(error);
            QMessageBox::critical(nullptr, QStringLiteral("RELM"), error);
            *status = 1;
            return std::nullopt;
        }
        chosen.layoutDir = dialog.layoutDir();
        chosen.recentLayouts = withRecentLayout(chosen.recentLayouts, chosen.layoutDir);
    }
    QString error;
    if (!writeStartSettings(path, chosen, &error)) {
        const QString text = error + u'\n' + StartText::tr("次の起動でも接続設定を表示します。");
        warn(text);
        QMessageBox::warning(nullptr, QStringLiteral("RELM"), text);
    }
    return chosen.connection;
}

} // namespace relm
