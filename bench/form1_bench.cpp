// The main window's handling of one status frame, as the port notification runs it: the bytes
// wait at the console's side of a pseudo-terminal, the event loop notices them, MSComm1 raises
// comm() and Form1 reads, decodes, supervises and applies the view (labels, bars, map redraws).

#include "bench_support.h"

#include "console/console.h"
#include "console/form1.h"
#include "link/mscomm1.h"
#include "model/module1.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kHandlerTimeout = std::chrono::seconds(2);
constexpr int kSliderForSpeed60 = 68; // requested speed = 128 - slider position

// One train's 8-byte record in a 24-byte frame.
void putRecord(QByteArray &frame, int t, int own, int behind, int next)
{
    const int at = 8 * t;
    frame[at + 0] = static_cast<char>(own);
    frame[at + 1] = static_cast<char>(behind);
    frame[at + 2] = static_cast<char>(next);
    frame[at + 5] = static_cast<char>(64); // reported speed: half the bar
}

// X in route 0, Y in route 1, Z in route 2; step 1 moves every train one section on.
QByteArray trainsAt(int step)
{
    QByteArray frame(24, '\0');
    putRecord(frame, 0, 0x00 + step, (0x07 + step) & 0x07, 0x01 + step);
    putRecord(frame, 1, 0x0C + step, 0x0B + step, 0x0D + step);
    putRecord(frame, 2, 0x12 + step, 0x11 + step, 0x13 + step);
    return frame;
}

// Where one frame's handling went: the thread's CPU time, and the wall-clock time, which also
// holds the port's wait for the line to fall quiet before it hands the block over.
struct Handling
{
    double cpuSeconds = -1; // negative when the handler never ran
    double wallSeconds = -1;
};

double threadCpuSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// A loaded, shown main window on a pty, with the sample layout's map and every train's slider
// asking for speed 60.
struct Console
{
    relm::Module1 module;
    relm::bench::ControllerPty pty;
    std::unique_ptr<relm::Console> console;
    std::unique_ptr<relm::Form1> form;
    int handled = 0; // comm notifications Form1 has finished with
    QObject counter; // goes before handled, and the connection that counts with it
    QString error;

    Console()
    {
        if (!pty.ok()) {
            error = QStringLiteral("no pseudo-terminal");
            return;
        }
        const relm::bench::ScopedCurrentDir here(relm::bench::sampleLayoutDir());
        console = std::make_unique<relm::Console>(module, pty.deviceName());
        form = std::make_unique<relm::Form1>(*console);
        form->setMessageReporter([](const QString &, const QString &text) {
            std::fprintf(stderr, "console: %s\n", text.toLocal8Bit().constData());
        });
        console->setProgramEnder([](int) {});
        if (!form->load(&error))
            return;
        form->show();
        for (auto *slider : form->Slider1)
            slider->setValue(kSliderForSpeed60);
        // As after a Transfer's initialisation frame: status frames before it are not decoded.
        module.InitSent = relm::kTrue;
        // Connected after the console's own handler, so it runs once that handler and the
        // window's updates have returned.
        QObject::connect(&console->MSComm1, &relm::MSComm1::comm, &counter, [this] { ++handled; });
        QApplication::processEvents();
    }

    // From the frame waiting at the port to the end of Form1's handler; with repaint, until the
    // windows have also painted what changed. The event loop blocks while nothing is due, so the
    // CPU time is the work alone.
    Handling handleFrame(const QByteArray &frame, bool withRepaint)
    {
        Handling h;
        if (!pty.sendAndSettle(frame))
            return h;
        const int before = handled;
        const auto wallStart = Clock::now();
        const double cpuStart = threadCpuSeconds();
        while (handled == before) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (Clock::now() - wallStart > kHandlerTimeout)
                return h;
        }
        if (withRepaint)
            QApplication::processEvents();
        h.cpuSeconds = threadCpuSeconds() - cpuStart;
        h.wallSeconds = std::chrono::duration<double>(Clock::now() - wallStart).count();
        if (!withRepaint)
            QApplication::processEvents(); // the repaint, outside the measurement
        return h;
    }
};

enum class Measure { Cpu, Wall };

void runFrames(benchmark::State &state, bool moving, bool withRepaint, Measure measure)
{
    Console console;
    if (!console.form || !console.error.isEmpty()) {
        state.SkipWithError(console.error.toLocal8Bit().constData());
        return;
    }
    const std::array<QByteArray, 2> frames{trainsAt(0), trainsAt(1)};
    console.handleFrame(frames[0], true);
    // The frame has reached the tables and the labels: behind, own, next, then after next.
    if (!console.form->Label2[0]->text().startsWith(QStringLiteral("7 0 1 "))) {
        state.SkipWithError("the first status frame was not decoded");
        return;
    }
    std::size_t k = 0;
    for (auto _ : state) {
        if (moving)
            k ^= 1U;
        const Handling h = console.handleFrame(frames[k], withRepaint);
        if (h.cpuSeconds < 0) {
            state.SkipWithError("Form1 did not handle the frame");
            return;
        }
        state.SetIterationTime(measure == Measure::Cpu ? h.cpuSeconds : h.wallSeconds);
    }
    state.SetItemsProcessed(state.iterations());
}

// No train moves: decode and supervise, captions, colours and bars; no map redraw.
void BM_Form1StatusFrameStill(benchmark::State &state)
{
    runFrames(state, false, false, Measure::Cpu);
}
BENCHMARK(BM_Form1StatusFrameStill)->UseManualTime()->Unit(benchmark::kMicrosecond);

// All three trains move: the same plus three complete map redraws.
void BM_Form1StatusFrameAllMoving(benchmark::State &state)
{
    runFrames(state, true, false, Measure::Cpu);
}
BENCHMARK(BM_Form1StatusFrameAllMoving)->UseManualTime()->Unit(benchmark::kMicrosecond);

// As above, until both windows have painted the change.
void BM_Form1StatusFrameStillRepainted(benchmark::State &state)
{
    runFrames(state, false, true, Measure::Cpu);
}
BENCHMARK(BM_Form1StatusFrameStillRepainted)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Form1StatusFrameAllMovingRepainted(benchmark::State &state)
{
    runFrames(state, true, true, Measure::Cpu);
}
BENCHMARK(BM_Form1StatusFrameAllMovingRepainted)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Wall-clock time from a whole frame waiting at the port to the handler's end: the work above
// plus the port's wait for the line to fall quiet.
void BM_Form1StatusFrameLatency(benchmark::State &state)
{
    runFrames(state, true, false, Measure::Wall);
}
BENCHMARK(BM_Form1StatusFrameLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
