#include "support.h"

#include "model/section_code.h"

namespace relm::sim::test {

Bytes downloadFrame(const Bytes &image)
{
    Bytes f(21, 0x00);
    const std::size_t field = image.size() + 1;
    f.push_back(0xFF);
    f.push_back(static_cast<std::uint8_t>(field >> 8));
    f.push_back(static_cast<std::uint8_t>(field & 0xFF));
    f.insert(f.end(), image.begin(), image.end());
    f.insert(f.end(), 7, 0x00);
    return f;
}

Bytes registerFrame(const std::vector<RegisterPair> &pairs)
{
    Bytes f{0xFF, static_cast<std::uint8_t>(pairs.size())};
    for (const RegisterPair &p : pairs) {
        f.push_back(p.address);
        f.push_back(p.value);
    }
    return f;
}

Bytes initFrame(const Placement &p)
{
    std::vector<RegisterPair> pairs;
    for (int t = 0; t < kTrains; ++t) {
        for (int k = 0; k < 4; ++k)
            pairs.push_back({static_cast<std::uint8_t>(14 * t + k),
                             p[static_cast<std::size_t>(t)][static_cast<std::size_t>(k)]});
    }
    return registerFrame(pairs);
}

Bytes commandFrame(const std::array<std::uint8_t, kTrains> &after,
                   const std::array<std::uint8_t, kTrains> &speed)
{
    std::vector<RegisterPair> pairs;
    for (int t = 0; t < kTrains; ++t) {
        pairs.push_back(
            {static_cast<std::uint8_t>(14 * t + 3), after[static_cast<std::size_t>(t)]});
        pairs.push_back(
            {static_cast<std::uint8_t>(14 * t + 4), speed[static_cast<std::size_t>(t)]});
    }
    return registerFrame(pairs);
}

std::array<std::uint8_t, 4> placedAt(int code)
{
    return {static_cast<std::uint8_t>(code), static_cast<std::uint8_t>(stepAhead(code, code, -1)),
            static_cast<std::uint8_t>(stepAhead(code, code, 1)),
            static_cast<std::uint8_t>(stepAhead(code, code, 2))};
}

Controller runningController(const Placement &p, ControllerConfig config)
{
    Controller c(config);
    c.receive(downloadFrame({}));
    c.receive(initFrame(p));
    c.takeOutput();
    return c;
}

std::array<Record, kTrains> lastStatus(const Bytes &out)
{
    std::array<Record, kTrains> r{};
    if (out.size() < kStatusFrameBytes)
        return r;
    const std::size_t at = out.size() - out.size() % kStatusFrameBytes - kStatusFrameBytes;
    for (std::size_t t = 0; t < kTrains; ++t) {
        const std::uint8_t *b = &out[at + 8 * t];
        r[t] = {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]};
    }
    return r;
}

} // namespace relm::sim::test
