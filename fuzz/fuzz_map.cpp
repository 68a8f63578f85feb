// kukan.dat of any content through the map window: the loader, then KDisp on the drawing layer,
// as activating the window does. The first byte chooses what lies at kukan.dat (a file with the
// rest of the input, no file, or a directory that cannot be read as one), the next six place the
// trains. Holds the rules: a loaded file is the tables, a missing or unreadable one leaves them,
// an unreadable one is reported once, and KDisp leaves no brush behind.

#include "map/form3.h"
#include "map/map_geometry.h"
#include "model/module1.h"

#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>

#include <unistd.h>

namespace {

using namespace relm;

struct MapWindow
{
    Module1 module;
    std::unique_ptr<Form3> form3;
    int failures = 0;
};

MapWindow *g_window = nullptr;

[[noreturn]] void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

void placeFile(std::uint8_t mode, std::span<const std::uint8_t> bytes)
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::remove_all(kMapFileName, ignored);
    switch (mode % 4) {
    case 2:
        return; // missing
    case 3:
        fs::create_directory(kMapFileName, ignored); // exists, cannot be read as a file
        return;
    default: {
        std::ofstream out(kMapFileName, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The window reads kukan.dat from the current directory: give it a directory of its own
    // (under TMPDIR; scripts/fuzz removes it). Corpus paths must therefore be absolute.
    std::string dir = (std::filesystem::temp_directory_path() / "relm-fuzz-map-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr || chdir(dir.c_str()) != 0) {
        std::perror("fuzz_map: working directory");
        std::abort();
    }
    static QApplication app(*argc, *argv);
    g_window = new MapWindow;
    setStartColours(g_window->module);
    g_window->form3 = std::make_unique<Form3>(g_window->module);
    g_window->form3->setFailureReporter(
        [](const QString &, const QString &) { ++g_window->failures; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    const std::uint8_t mode = size > 0 ? input[0] : 0;
    Module1 &m = g_window->module;
    for (int t = 0; t < kTrainCount; ++t) {
        m.PosCode0[t] = size > std::size_t(1 + t) ? input[1 + t] : 0;
        m.PosCode1[t] = size > std::size_t(4 + t) ? input[4 + t] : 0;
    }
    const std::span<const std::uint8_t> file = size > 7 ? input.subspan(7) : input.last(0);
    placeFile(mode, file);

    Form3 &window = *g_window->form3;
    const MapGeometry before = window.geometry();
    const int failuresBefore = g_window->failures;
    window.activate();
    window.activate(); // the same failure is not reported twice

    switch (mode % 4) {
    case 2:
        if (!(window.geometry() == before) || g_window->failures != failuresBefore)
            broken("a missing file keeps the tables and shows nothing");
        break;
    case 3:
        if (!(window.geometry() == before) || g_window->failures > failuresBefore + 1)
            broken("an unreadable file keeps the tables and is reported once");
        break;
    default:
        if (!(window.geometry() == parseMapGeometry(file)))
            broken("a loaded file is the tables");
        break;
    }
    const MapSurface &dc = window.surface();
    if (dc.liveBrushCount() != 0 || dc.selectedObject() != dc.stockBrush())
        broken("KDisp deletes its brushes and restores the selection");
    return 0;
}
