#include "support.h"

#include "model/section_code.h"

namespace relm::sim::test {

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &b : parts)
        all.insert(all.end(), b.begin(), b.end());
    return all;
}

Bytes downloadFrame(const Bytes &image)
{
    const auto field = static_cast<std::uint16_t>(image.size() + 1);
    return concat(
        {Bytes(21, 0x00),
         {0xFF, static_cast<std::uint8_t>(field >> 8), static_cast<std::uint8_t>(field & 0xFF)},
         image,
         Bytes(7, 0x00)});
}

Bytes registerFrame(const std::vector<RegisterPair> &pairs)
{
    Bytes f{0xFF, static_cast<std::uint8_t>(pairs.size())};
    for (const RegisterPair &p : pairs)
        f.insert(f.end(), {p.address, p.value});
    return f;
}

Bytes trainFrame(const std::vector<std::tuple<int, int, int>> &writes)
{
    std::vector<RegisterPair> pairs;
    for (const auto &[train, offset, value] : writes)
        pairs.push_back({static_cast<std::uint8_t>(kRegistersPerTrain * train + offset),
                         static_cast<std::uint8_t>(value)});
    return registerFrame(pairs);
}

Bytes initFrame(const Placement &p)
{
    std::vector<RegisterPair> pairs;
    for (std::size_t k = 0; k < 4 * kTrains; ++k)
        pairs.push_back({static_cast<std::uint8_t>(14 * (k / 4) + k % 4), p[k / 4][k % 4]});
    return registerFrame(pairs);
}

Bytes commandFrame(const std::array<int, kTrains> &after, const std::array<int, kTrains> &speed)
{
    return trainFrame({{0, 3, after[0]},
                       {0, 4, speed[0]},
                       {1, 3, after[1]},
                       {1, 4, speed[1]},
                       {2, 3, after[2]},
                       {2, 4, speed[2]}});
}

std::array<std::uint8_t, 4> placedAt(int code)
{
    const auto at = [code](int k) { return static_cast<std::uint8_t>(stepAhead(code, code, k)); };
    return {at(0), at(-1), at(1), at(2)};
}

Controller runningController(const Placement &p)
{
    Controller c;
    c.receive(downloadFrame({}));
    c.receive(initFrame(p));
    return c;
}

std::array<Record, kTrains> lastStatus(const Bytes &out)
{
    std::array<Record, kTrains> r{};
    const std::size_t frames = out.size() / kStatusFrameBytes;
    for (std::size_t k = 0; frames > 0 && k < kStatusFrameBytes; ++k)
        r[k / 8][k % 8] = out[(frames - 1) * kStatusFrameBytes + k];
    return r;
}

} // namespace relm::sim::test
