// Main of the window benchmarks: one QApplication for the whole run, offscreen unless a display
// was asked for, then Google Benchmark's own command line.

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
