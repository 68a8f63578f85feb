// relm: the operator console. Parses the command line, opens the serial line (or starts the
// simulated controller), and runs the main window.

#include "app/command_line.h"
#include "console/console.h"
#include "console/form1.h"
#include "app/layout_directory.h"
#include "app/simulator_process.h"
#include "app/termination_signals.h"
#include "map/form3.h"
#include "remote/remote_panel.h"
#include "model/module1.h"
#include "withrottle/withrottle.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStyleFactory>

#include <cstdio>
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

    // Every file after this is opened by bare name in the layout directory.
    if (!options.layoutDir.empty()) {
        QString error;
        if (!relm::enterLayoutDirectory(QString::fromStdString(options.layoutDir), &error))
            return fail(error);
    }

    relm::SimulatorProcess simulator;
    QString port = QString::fromStdString(options.port);
    if (options.simulate) {
        QString error;
        const QString program = QDir(QApplication::applicationDirPath()).filePath(QStringLiteral("relm-sim"));
        port = simulator.start(program, {}, &error);
        if (port.isEmpty())
            return fail(QStringLiteral("模擬制御装置を起動できません: %1").arg(error));
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
        return fail(QStringLiteral("シリアルポート %1 を開けません: %2\n"
                                   "--port で装置を指定するか、--simulate で模擬制御装置を使ってください。")
                        .arg(port, reason));
    }
    if (!options.logFile.empty()) {
        QString error;
        if (!console.setTrafficLog(QString::fromStdString(options.logFile), &error))
            return fail(QStringLiteral("通信記録: %1").arg(error));
    }
    std::unique_ptr<relm::RemotePanel> panel;
    if (!options.serve.empty()) {
        QString error;
        panel = relm::RemotePanel::start(console, serveAddress, servePort, &error);
        if (!panel)
            return fail(QStringLiteral("遠隔パネルを開けません (%1): %2")
                            .arg(QString::fromStdString(options.serve), error));
        // The panel draws the map the map window has loaded, and again whenever it reloads.
        relm::Form3 &map = form.form3();
        panel->setMap(map.geometry());
        QObject::connect(&map, &relm::Form3::geometryLoaded, &map,
                         [&map, &panel] { panel->setMap(map.geometry()); });
        std::printf("view: %s\ncontrol: %s\n", panel->viewUrl().toString().toUtf8().constData(),
                    panel->controlUrl().toString().toUtf8().constData());
        std::fflush(stdout);
        form.setRemotePanelUrl(panel->controlUrl().toString());
    }
    std::unique_ptr<relm::WiThrottle> throttles;
    if (!options.withrottle.empty()) {
        QString error;
        throttles = relm::WiThrottle::start(console, throttleAddress, throttlePort, &error);
        if (!throttles)
            return fail(
                QCoreApplication::translate("main", "スロットルサーバーを開けません (%1): %2")
                    .arg(QString::fromStdString(options.withrottle), error));
        std::printf("withrottle: %s\n", throttles->endpoint().toUtf8().constData());
        std::fflush(stdout);
    }
    // A termination signal is Exit: the trains get the stop command first when the cycle runs.
    QString signalError;
    const auto termination = relm::TerminationSignals::install(&signalError);
    if (!termination)
        return fail(QStringLiteral("終了シグナルを受け取れません: %1").arg(signalError));
    QObject::connect(termination.get(), &relm::TerminationSignals::received, &console,
                     [&console](int number) {
                         std::fprintf(stderr, "relm: signal %d: ending as Exit does\n",
                                      number);
                         console.exit(128 + number);
                     });
    form.show();
    form.raise();
    form.activateWindow();
    if (options.monitor)
        form.showMonitor();
    const int status = QApplication::exec();
    simulator.stop();
    return status;
}
