// The section map: one KDisp pass over the retained picture, for the sample layout and for the
// heaviest map the file allows, and the window's repaint that shows the picture.

#include "bench_support.h"

#include "map/form3.h"
#include "model/module1.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using relm::bench::ScopedCurrentDir;

// Trains X, Y and Z placed as a running layout has them: each colours two sections.
relm::Module1 placedTrains()
{
    relm::Module1 m;
    relm::setStartColours(m);
    m.PosCode0 = {0x00, 0x0C, 0x12, 0};
    m.PosCode1 = {0x07, 0x0B, 0x11, 0};
    return m;
}

// A shown map window whose geometry was loaded from kukan.dat in dir.
std::unique_ptr<relm::Form3> mapWindow(relm::Module1 &m, const QString &dir)
{
    const ScopedCurrentDir here(dir);
    if (!here.ok())
        return nullptr;
    auto form = std::make_unique<relm::Form3>(m);
    form->show();
    form->activate();
    QApplication::processEvents();
    return form;
}

void runKDisp(benchmark::State &state, relm::Form3 &form)
{
    for (auto _ : state)
        form.KDisp();
    state.SetItemsProcessed(state.iterations() * form.geometry().MapPolyCount);
    state.counters["polygons"] = form.geometry().MapPolyCount;
    QApplication::processEvents();
}

void BM_KDispSampleLayout(benchmark::State &state)
{
    relm::Module1 m = placedTrains();
    auto form = mapWindow(m, relm::bench::sampleLayoutDir());
    if (!form || form->geometry().MapPolyCount <= 0) {
        state.SkipWithError("no sample kukan.dat: build relm_layout or set RELM_LAYOUT_DIR");
        return;
    }
    runKDisp(state, *form);
}
BENCHMARK(BM_KDispSampleLayout)->Unit(benchmark::kMicrosecond);

void BM_KDispWorstCase(benchmark::State &state)
{
    relm::Module1 m = placedTrains();
    const auto dir = relm::bench::directoryWithMap(relm::bench::worstCaseMap());
    auto form = dir ? mapWindow(m, dir->path()) : nullptr;
    if (!form || form->geometry().MapPolyCount != relm::kMapMaxPolygons) {
        state.SkipWithError("could not write the 100-polygon kukan.dat");
        return;
    }
    runKDisp(state, *form);
}
BENCHMARK(BM_KDispWorstCase)->Unit(benchmark::kMicrosecond);

// Showing the retained picture: what the window does when the event loop repaints it.
void BM_MapWindowRepaint(benchmark::State &state)
{
    relm::Module1 m = placedTrains();
    auto form = mapWindow(m, relm::bench::sampleLayoutDir());
    if (!form) {
        state.SkipWithError("no sample layout directory");
        return;
    }
    for (auto _ : state)
        form->repaint();
}
BENCHMARK(BM_MapWindowRepaint)->Unit(benchmark::kMicrosecond);

} // namespace
