#include "initial_positions.h"

#include "sim/seeded_random.h"

#include "model/section_code.h"

#include <algorithm>

namespace relm {

std::vector<int> heldSections(std::span<const std::int32_t, kIniValuesPerTrain> values)
{
    const int route = values[0];
    const int section = values[1];
    const int reverse = values[2];
    if (values[3] != 1)
        return {};
    const int own = placedCode(route, section, reverse);
    std::vector<int> held;
    for (int k : {-1, 0, 1, 2})
        held.push_back(sectionNumber(stepAhead(own, section, k)));
    return held;
}

IniValueArray trainsApart(sim::SeededRandom &random, double runChance)
{
    IniValueArray values{};
    std::vector<int> taken;
    for (int t = 0; t < kTrainCount; ++t) {
        const auto first = static_cast<std::size_t>(t * kIniValuesPerTrain);
        const std::span<std::int32_t, kIniValuesPerTrain> train(values.data() + first,
                                                                 kIniValuesPerTrain);
        const bool run = random.chance(runChance);
        // With at most two trains holding four sections each, most of the 32 stay free.
        for (;;) {
            train[0] = random.between(0, 3);
            train[1] = random.between(0, 7);
            train[2] = random.between(0, 1);
            train[3] = run ? 1 : 0;
            const std::vector<int> held = heldSections(train);
            const bool apart = std::none_of(held.begin(), held.end(), [&taken](int s) {
                return std::find(taken.begin(), taken.end(), s) != taken.end();
            });
            if (apart) {
                taken.insert(taken.end(), held.begin(), held.end());
                break;
            }
        }
    }
    return values;
}

} // namespace relm
