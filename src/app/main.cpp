// relm: the operator console. Parses the command line, establishes how the track controller is
// reached (the command line, the remembered settings or the connection dialog), opens the serial
// line (or starts the simulated controller), and runs the main window with the servers asked for.

#include "app/command_line.h"
#include "app/layout_directory.h"
#include "app/serial_ports.h"
#include "app/servers.h"
#include "app/simulator_process.h"
#include "app/start_up.h"
#include "app/termination_signals.h"
#include "app/translation.h"
#include "console/console.h"
#include "console/form1.h"
#include "model/module1.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QMessageBox>
#include <QStyleFactory>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "relm: %s\n", text.toLocal8Bit().constData());
    QMessageBox::critical(nullptr, QStringLiteral("RELM"), text);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const relm::ParsedCommandLine parsed = relm::parseCommandLine(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "relm: %s\n\n%s", parsed.error.c_str(), relm::usageText().c_str());
        return 2;
    }
    const relm::ConsoleOptions &options = parsed.options;
    if (options.help) {
        std::fputs(relm::usageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("relm %s\n", RELM_VERSION);
        return 0;
    }
    // --serve and --withrottle take [ADDRESS:]PORT alike.
    const auto readAddress = [](const std::string &text, const char *option, QHostAddress *address,
                                quint16 *port) {
        QString error;
        if (text.empty() ||
            relm::parseServeAddress(QString::fromStdString(text), address, port, &error))
            return true;
        error.replace(QStringLiteral("--serve"), QString::fromLatin1(option));
        std::fprintf(stderr, "relm: %s\n\n%s", error.toLocal8Bit().constData(),
                     relm::usageText().c_str());
        return false;
    };
    QHostAddress serveAddress, throttleAddress;
    quint16 servePort = 0, throttlePort = 0;
    if (!readAddress(options.serve, "--serve", &serveAddress, &servePort) ||
        !readAddress(options.withrottle, "--withrottle", &throttleAddress, &throttlePort))
        return 2;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RELM"));
    QApplication::setApplicationVersion(QStringLiteral(RELM_VERSION));
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(style);
    // Lets the desktop show the window under the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral(RELM_APP_ID));
    // Every text after this is in the operator's language.
    {
        QString error;
        if (!relm::installLanguage(
                relm::chooseLanguage(options.language, QLocale::system().uiLanguages()), &error))
            std::fprintf(stderr, "relm: no English: %s\n", error.toLocal8Bit().constData());
    }

    // Every file after this is opened by bare name in the layout directory.
    if (!options.layoutDir.empty()) {
        QString error;
        if (!relm::enterLayoutDirectory(QString::fromStdString(options.layoutDir), &error))
            return fail(error);
    }
    int status = 1;
    const std::optional<relm::Connection> connection = relm::establishConnection(options, &status);
    if (!connection)
        return status;

    relm::SimulatorProcess simulator;
    QString port = connection->port;
    if (connection->simulator) {
        QString error;
        const QString program =
            QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("relm-sim"));
        port = simulator.start(program, {}, &error);
        if (port.isEmpty())
            return fail(
                QCoreApplication::translate("main", "模擬制御装置を起動できません: %1").arg(error));
    }

    relm::Module1 module;
    relm::Console console(module, port);
    relm::WatchSettings watch;
    watch.sectionLengthMm = options.sectionLengthMm;
    watch.topSpeedMmPerS = options.topSpeedMmPerS;
    console.setWatchSettings(watch);
    relm::Form1 form(console);
    form.move(40, 40);
    QString reason;
    if (!form.load(&reason)) {
        return fail(
            relm::portOpenMessage(port, reason) +
            QCoreApplication::translate(
                "main",
                "\n--port で装置を指定するか、--simulate で模擬制御装置を使ってください。"));
    }
    if (!options.logFile.empty()) {
        QString error;
        if (!console.setTrafficLog(QString::fromStdString(options.logFile), &error))
            return fail(QCoreApplication::translate("main", "通信記録: %1").arg(error));
    }
    // The servers asked for on the command line, each wired by a function of its own.
    std::unique_ptr<relm::RemotePanel> panel;
    if (!options.serve.empty()) {
        QString error;
        panel = relm::serveRemotePanel(console, form, serveAddress, servePort, &error);
        if (!panel)
            return fail(QCoreApplication::translate("main", "遠隔パネルを開けません (%1): %2")
                            .arg(QString::fromStdString(options.serve), error));
    }
    std::unique_ptr<relm::WiThrottle> throttles;
    if (!options.withrottle.empty()) {
        QString error;
        throttles = relm::serveThrottles(console, throttleAddress, throttlePort, &error);
        if (!throttles)
            return fail(
                QCoreApplication::translate("main", "スロットルサーバーを開けません (%1): %2")
                    .arg(QString::fromStdString(options.withrottle), error));
    }
    // A termination signal is Exit: the trains get the stop command first when the cycle runs.
    QString signalError;
    const auto termination = relm::TerminationSignals::install(&signalError);
    if (!termination)
        return fail(QCoreApplication::translate("main", "終了シグナルを受け取れません: %1")
                        .arg(signalError));
    QObject::connect(termination.get(), &relm::TerminationSignals::received, &console,
                     [&console](int number) {
                         std::fprintf(stderr, "relm: signal %d: ending as Exit does\n", number);
                         console.exit(128 + number);
                     });
    form.show();
    form.raise();
    form.activateWindow();
    if (options.monitor)
        form.showMonitor();
    status = QApplication::exec();
    simulator.stop();
    return status;
}
