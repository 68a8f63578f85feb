// relm-linetime: runs the console's main window in this process on a pseudo-terminal, plays
// the track controller on the other end, presses Transfer, and reports when each frame the
// console sends reaches the line: the command period, the start of the cycle after the
// download, and the process's memory along the way.

#include "controller_side.h"
#include "line_stats.h"
#include "process_memory.h"

#include "console/console.h"
#include "console/form1.h"
#include "map/form3.h"
#include "remote/panel_server.h"
#include "withrottle/throttle_server.h"
#include "link/command_tick.h"
#include "model/module1.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

struct Options
{
    int frames = 1000;        // command frames to time (intervals: one fewer)
    int speed = 128;          // every train's requested speed, 0..128
    int rssEverySeconds = 60; // memory sample period
    int pages = 0;            // remote panel pages connected during the run
    int throttles = 0;        // WiThrottle throttles connected during the run
    int flooders = 0;         // hostile clients flooding the remote panel during the run
    std::string dir;          // layout directory: kukan.dat, atc.ini, atctest.bin
    relm::ControllerSideOptions controller;
    bool help = false;
};

const char *const kUsage =
    "usage: relm-linetime [--frames N] [--dir DIR] [--speed S] [--listen-only]\n"
    "                     [--status-interval MS] [--rss-every SECONDS] [--no-realtime]\n"
    "                     [--pages N] [--flood N] [--throttles N] [--verbose]\n"
    "  Runs the console window offscreen on a pseudo-terminal, presses Transfer and times\n"
    "  every frame it sends. --frames 1000 (the default) takes about 3.5 minutes.\n"
    "  --dir        layout directory with kukan.dat, atc.ini and atctest.bin (default: .)\n"
    "  --speed      speed every train's slider asks for after Transfer, 0..128 (default 128)\n"
    "  --listen-only  only read; send no status frames\n"
    "  --status-interval  status frame period of the simulated controller\n"
    "  --rss-every  seconds between memory samples (default 60)\n"
    "  --no-realtime  leave the reading thread at normal priority\n"
    "  --pages N    serve the remote panel and keep N operating pages on it (1..64), from\n"
    "               relm-panel-load beside this program; reports each update's latency\n"
    "  --flood N    and N clients (1..16) flooding the panel with 64 KiB messages, opening a\n"
    "               new connection whenever the panel closes one\n"
    "  --throttles N  serve WiThrottle throttles and keep N of them (1..64) driving, each\n"
    "               sending 20 lines a second from relm-throttle-load beside this program;\n"
    "               reports how soon after each status frame every throttle has been told\n"
    "  --verbose    the simulated controller's log and every frame on stderr\n";

bool parseInt(std::string_view text, int low, int high, int &out)
{
    try {
        std::size_t used = 0;
        const int v = std::stoi(std::string(text), &used);
        if (used != text.size() || v < low || v > high)
            return false;
        out = v;
        return true;
    } catch (...) {
        return false;
    }
}

std::string parseOptions(const std::vector<std::string_view> &args, Options &o)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool hasValue = i + 1 < args.size();
        int value = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--listen-only") {
            o.controller.answer = false;
        } else if (a == "--verbose") {
            o.controller.verbose = true;
        } else if (a == "--no-realtime") {
            o.controller.realtimeReader = false;
        } else if (a == "--dir" && hasValue) {
            o.dir = args[++i];
        } else if (a == "--frames" && hasValue && parseInt(args[i + 1], 2, 1000000, value)) {
            o.frames = value;
            ++i;
        } else if (a == "--speed" && hasValue && parseInt(args[i + 1], 0, 128, value)) {
            o.speed = value;
            ++i;
        } else if (a == "--pages" && hasValue && parseInt(args[i + 1], 1, 64, value)) {
            o.pages = value;
            ++i;
        } else if (a == "--throttles" && hasValue && parseInt(args[i + 1], 1, 64, value)) {
            o.throttles = value;
            ++i;
        } else if (a == "--flood" && hasValue && parseInt(args[i + 1], 1, 16, value)) {
            o.flooders = value;
            ++i;
        } else if (a == "--rss-every" && hasValue && parseInt(args[i + 1], 1, 3600, value)) {
            o.rssEverySeconds = value;
            ++i;
        } else if (a == "--status-interval" && hasValue && parseInt(args[i + 1], 20, 1000, value)) {
            o.controller.statusIntervalMs = value;
            ++i;
        } else {
            return "cannot use '" + std::string(a) + "'" + (hasValue ? "" : " here");
        }
    }
    return {};
}

long rssNow()
{
    return relm::residentKb(::getpid()).value_or(-1);
}

// Bytes the allocator's main arena has handed out and not had back, in kB. The main arena
// serves the console's thread (the controller's thread allocates from an arena of its own), and
// growth here is memory held, where resident memory may also grow by fragmentation or by pages
// touched late.
long heapInUseKb()
{
    return static_cast<long>(::mallinfo2().uordblks / 1024);
}

struct MemorySample
{
    double seconds = 0;
    long rssKb = 0;
    long heapKb = 0;
};

// CPU time of the console's thread and the time it stood ready to run while another task had
// the CPU, both in ns (/proc/self/task/TID/schedstat).
struct ThreadTimes
{
    double cpuNs = 0;
    double waitNs = 0;
};

ThreadTimes mainThreadTimes()
{
    std::ifstream in("/proc/self/task/" + std::to_string(::getpid()) + "/schedstat");
    ThreadTimes t;
    in >> t.cpuNs >> t.waitNs;
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (const std::string error = parseOptions(args, options); !error.empty()) {
        std::fprintf(stderr, "relm-linetime: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RELM"));
    if (!options.dir.empty() && !QDir::setCurrent(QString::fromStdString(options.dir))) {
        std::fprintf(stderr, "relm-linetime: no directory %s\n", options.dir.c_str());
        return 1;
    }

    // A download, an initialisation frame and a margin besides the command frames.
    options.controller.expectedFrames = static_cast<std::size_t>(options.frames) + 100;
    relm::ControllerSide controller(options.controller);
    std::string error;
    if (!controller.open(error)) {
        std::fprintf(stderr, "relm-linetime: %s\n", error.c_str());
        return 1;
    }
    controller.start();

    relm::Module1 module;
    relm::Console console(module, QString::fromStdString(controller.devicePath()));
    relm::Form1 form(console);
    int status = 0;
    form.setMessageReporter([&status](const QString &, const QString &text) {
        std::fprintf(stderr, "relm-linetime: the console says: %s\n",
                     text.toLocal8Bit().constData());
        status = 1;
        QCoreApplication::exit(1);
    });
    console.setProgramEnder([](int code) { QCoreApplication::exit(code); });
    QString reason;
    if (!form.load(&reason)) {
        std::fprintf(stderr, "relm-linetime: %s\n", reason.toLocal8Bit().constData());
        return 1;
    }
    form.show();
    QApplication::processEvents();

    // The remote panel and the throttle server, with their clients in processes of their own
    // as phones would be.
    std::unique_ptr<relm::PanelServer> panel;
    std::unique_ptr<relm::ThrottleServer> throttles;
    QProcess pages;
    QProcess throttleLoad;
    QElapsedTimer serverClock;
    serverClock.start();
    const auto serverTime = [serverClock] { return serverClock.elapsed(); };
    // Starts a load tool beside this program and waits until `connected` reports them all.
    const auto startLoad = [](QProcess &process, const char *tool, const QStringList &arguments,
                              const std::function<int()> &connected, int expected) {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QDir(QApplication::applicationDirPath()).filePath(QString::fromLatin1(tool)),
                      arguments);
        if (!process.waitForStarted()) {
            std::fprintf(stderr, "relm-linetime: %s did not start\n", tool);
            return false;
        }
        QElapsedTimer waited;
        waited.start();
        while (connected() < expected && waited.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (connected() < expected) {
            std::fprintf(stderr, "relm-linetime: only %d of %d clients of %s connected\n",
                         connected(), expected, tool);
            return false;
        }
        return true;
    };
    if (options.pages > 0 || options.flooders > 0) {
        panel = std::make_unique<relm::PanelServer>(console, QByteArray(32, 'a'), serverTime);
        QString listenError;
        if (!panel->listen(QHostAddress::LocalHost, 0, &listenError)) {
            std::fprintf(stderr, "relm-linetime: the panel cannot listen: %s\n",
                         listenError.toLocal8Bit().constData());
            return 1;
        }
        panel->setMap(form.form3().geometry());
        if (!startLoad(pages, "relm-panel-load",
                       {QString::number(panel->port()), QString(32, u'a'),
                        QString::number(options.pages), QString::number(options.flooders)},
                       [&panel] { return panel->operatingPages(); }, options.pages))
            return 1;
    }
    if (options.throttles > 0) {
        throttles = std::make_unique<relm::ThrottleServer>(console, serverTime);
        QString listenError;
        if (!throttles->listen(QHostAddress::LocalHost, 0, &listenError)) {
            std::fprintf(stderr, "relm-linetime: the throttle server cannot listen: %s\n",
                         listenError.toLocal8Bit().constData());
            return 1;
        }
        if (!startLoad(throttleLoad, "relm-throttle-load",
                       {QString::number(throttles->port()), QString::number(options.throttles)},
                       [&throttles] { return throttles->clients(); }, options.throttles))
            return 1;
    }
    const long rssAfterStart = rssNow();
    const long heapAfterStart = heapInUseKb();
    const ThreadTimes threadAtStart = mainThreadTimes();

    QElapsedTimer clock;
    clock.start();
    std::vector<MemorySample> samples;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &sampler, [&] {
        samples.push_back({static_cast<double>(clock.elapsed()) / 1000.0, rssNow(), heapInUseKb()});
    });
    sampler.start(options.rssEverySeconds * 1000);

    // Enough for the frames at 200 ms, the two seconds of start and a margin for a busy machine.
    const qint64 deadlineMs = static_cast<qint64>(options.frames) * 300 + 10000;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
        if (controller.commandFrames() >= static_cast<std::size_t>(options.frames) ||
            clock.elapsed() > deadlineMs)
            QCoreApplication::exit(0);
    });
    watch.start(50);

    // The operator's part: speeds on the sliders, then Transfer.
    QTimer::singleShot(200, &form, [&] {
        for (auto *slider : form.Slider1)
            slider->setValue(slider->maximum() - options.speed);
        form.Command2->click();
    });

    const int loopStatus = QApplication::exec();
    const long rssEnd = rssNow();
    const long heapEnd = heapInUseKb();
    const ThreadTimes threadAtEnd = mainThreadTimes();
    const long peak = relm::peakResidentKb(::getpid()).value_or(-1);
    controller.stop();

    const std::vector<relm::SentFrame> frames = controller.frames();
    const relm::LineReport report = relm::analyseFrames(frames, relm::kCommandIntervalMs);
    std::printf("%s", relm::formatLineReport(report, relm::kCommandIntervalMs).c_str());
    std::printf("stray_bytes: %zu\n", controller.strayBytes());
    std::printf("status_frames_sent: %zu\n", controller.statusFramesSent());
    std::printf("train_moves_reported: %zu\n", controller.trainMoves());
    std::printf("simulator_safety_events: %zu\n", controller.safetyEvents());
    std::printf("reader_priority: %s\n", controller.realtimeGranted() ? "real-time" : "normal");
    std::printf("run_seconds: %.1f\n", static_cast<double>(clock.elapsed()) / 1000.0);
    std::printf("console_thread_cpu: %.3f s\n", (threadAtEnd.cpuNs - threadAtStart.cpuNs) / 1e9);
    std::printf("console_thread_waited_for_cpu: %.3f s\n",
                (threadAtEnd.waitNs - threadAtStart.waitNs) / 1e9);
    std::printf("rss_after_start_kb: %ld\n", rssAfterStart);
    std::printf("heap_in_use_after_start_kb: %ld\n", heapAfterStart);
    for (const MemorySample &m : samples)
        std::printf("memory_at_%.0fs_kb: rss %ld, heap in use %ld\n", m.seconds, m.rssKb, m.heapKb);
    std::printf("rss_end_kb: %ld\n", rssEnd);
    std::printf("heap_in_use_end_kb: %ld\n", heapEnd);
    std::printf("rss_peak_kb: %ld\n", peak);
    // Latencies sorted: median, 99th percentile and the largest.
    const auto printLatencies = [](const char *name, std::vector<qint64> us) {
        std::sort(us.begin(), us.end());
        const auto at = [&us](double q) {
            return us.empty() ? 0 : us[std::min(us.size() - 1, static_cast<std::size_t>(q * us.size()))];
        };
        std::printf("%s: p50 %lld, p99 %lld, max %lld (%zu updates)\n", name,
                    static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)),
                    static_cast<long long>(us.empty() ? 0 : us.back()), us.size());
    };
    if (panel) {
        std::printf("panel_pages: %d operating\n", panel->operatingPages());
        std::printf("panel_pages_closed_over_their_limits: %ld\n", panel->closedOverLimits());
        printLatencies("panel_update_after_status_us", panel->updateLatenciesUs());
        pages.terminate();
        pages.waitForFinished(5000);
    }
    if (throttles) {
        std::printf("throttles: %d\n", throttles->clients());
        printLatencies("throttles_told_after_status_us", throttles->updateLatenciesUs());
        printLatencies("throttle_news_after_status_us", throttles->newsLatenciesUs());
        throttleLoad.terminate();
        throttleLoad.waitForFinished(5000);
    }

    if (status != 0 || loopStatus != 0)
        return 1;
    if (report.commandFrames < static_cast<std::size_t>(options.frames)) {
        std::fprintf(stderr, "relm-linetime: only %zu of %d command frames arrived in time\n",
                     report.commandFrames, options.frames);
        return 1;
    }
    return 0;
}
