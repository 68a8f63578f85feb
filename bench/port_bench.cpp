// How soon the serial port hands a received block to the status handling: the bytes wait at the
// console's side of a pseudo-terminal, and the figure is the wall-clock time until MSComm1
// raises comm(). A whole 24-byte frame goes after two byte times of quiet, a cut 23-byte frame
// after five, a fragment after half a status period (link/receive_timing.h).

#include "bench_support.h"

#include "link/mscomm1.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(2);

void BM_PortHandOver(benchmark::State &state)
{
    relm::bench::ControllerPty pty;
    relm::MSComm1 port;
    port.setPortName(pty.deviceName());
    QString error;
    if (!pty.ok() || !port.open(&error)) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    int raised = 0;
    QObject counter; // goes before raised, and the connection that counts with it
    QObject::connect(&port, &relm::MSComm1::comm, &counter, [&raised] { ++raised; });
    const QByteArray block(static_cast<int>(state.range(0)), '\x05');
    for (auto _ : state) {
        if (!pty.sendAndSettle(block)) {
            state.SkipWithError("the block did not arrive");
            return;
        }
        const int before = raised;
        const auto start = Clock::now();
        while (raised == before && Clock::now() - start < kTimeout)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        if (raised == before) {
            state.SkipWithError("the port never handed the block over");
            return;
        }
        port.readAll();
    }
}
BENCHMARK(BM_PortHandOver)
    ->Arg(24)
    ->Arg(23)
    ->Arg(12)
    ->ArgName("bytes")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
