#include "start_placements.h"

#include "console/transfer.h"
#include "initdata/load_ini.h"
#include "link/command_tick.h"
#include "model/section_code.h"

#include <algorithm>
#include <stdexcept>

namespace relm::verify {

namespace {

// Section numbers a placed train holds: behind, own, next, after next.
std::array<int, 4> held(int route, int section, int reverse)
{
    const int own = placedCode(route, section, reverse);
    std::array<int, 4> sections{};
    int k = 0;
    for (const int step : {-1, 0, 1, 2})
        sections[static_cast<std::size_t>(k++)] = sectionNumber(stepAhead(own, section, step));
    return sections;
}

void place(int train, int trains, const std::vector<int> &routes, IniValueArray &values,
           std::vector<int> &taken, std::vector<IniValueArray> &out)
{
    if (train == kTrainCount) {
        out.push_back(values);
        return;
    }
    const auto at = static_cast<std::size_t>(train * kIniValuesPerTrain);
    if (train >= trains) {
        values[at] = values[at + 1] = values[at + 2] = values[at + 3] = 0;
        place(train + 1, trains, routes, values, taken, out);
        return;
    }
    for (const int route : routes) {
        // Trains on track that never meets never interact: each is checked with the trains it
        // can meet. Routes 0 and 1 are joined by the crossovers; 2 and 3 are loops of their own.
        const auto component = [](int r) { return r < 2 ? 0 : r; };
        if (train > 0 && component(route) != component(values[0]))
            continue;
        for (int section = 0; section < 8; ++section) {
            for (int reverse = 0; reverse < 2; ++reverse) {
                const auto h = held(route, section, reverse);
                if (std::any_of(h.begin(), h.end(), [&taken](int s) {
                        return std::find(taken.begin(), taken.end(), s) != taken.end();
                    }))
                    continue;
                values[at] = route;
                values[at + 1] = section;
                values[at + 2] = reverse;
                values[at + 3] = 1;
                taken.insert(taken.end(), h.begin(), h.end());
                place(train + 1, trains, routes, values, taken, out);
                taken.resize(taken.size() - h.size());
            }
        }
    }
}

} // namespace

std::vector<IniValueArray> startPlacements(int trains, const std::vector<int> &routes)
{
    std::vector<IniValueArray> out;
    IniValueArray values{};
    std::vector<int> taken;
    place(0, trains, routes, values, taken, out);
    return out;
}

World startWorld(const IniValueArray &values, const ModelShape &shape,
                 std::vector<std::uint8_t> *initFrame)
{
    World w;
    Module1 &m = w.console;
    setStartColours(m);
    IniValues read;
    read.values = values;
    read.count = kIniValueCount;
    Module1 scratch;
    const IniLoadResult loaded = applyIni(scratch, read, kIniFileName);
    if (!loaded.ok())
        throw std::invalid_argument("relm-verify: atc.ini values refused: " + loaded.message);
    startCycle(m, positionsOf(scratch));
    const TickResult init = commandTick(m, false);
    if (initFrame != nullptr)
        *initFrame = init.bytes;
    for (int t = 0; t < kTrainCount; ++t) {
        ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        c.reg = {static_cast<std::uint8_t>(m.PosCode0[t]), static_cast<std::uint8_t>(m.PosCode1[t]),
                 static_cast<std::uint8_t>(m.PosCode2[t]), static_cast<std::uint8_t>(m.PosCode3[t])};
        c.place = c.present() ? static_cast<std::uint8_t>((shape.bins + 1) / 2) : 0;
    }
    return w;
}

std::string describePlacement(const IniValueArray &values)
{
    std::string text;
    for (int t = 0; t < kTrainCount; ++t) {
        const auto at = static_cast<std::size_t>(t * kIniValuesPerTrain);
        if (!text.empty())
            text += ", ";
        text += static_cast<char>('X' + t);
        if (values[at + 3] == 0) {
            text += " off";
            continue;
        }
        for (std::size_t k = 0; k < 4; ++k)
        {
            text += ' ';
            text += std::to_string(values[at + k]);
        }
    }
    return text;
}

} // namespace relm::verify
