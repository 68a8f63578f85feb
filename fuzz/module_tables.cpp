#include "module_tables.h"

#include <cstdio>
#include <cstdlib>
#include <tuple>

namespace relm {

namespace {

std::int16_t code(FuzzedDataProvider &in)
{
    if (in.ConsumeIntegralInRange<int>(0, 7) == 0)
        return in.ConsumeIntegral<std::int16_t>();
    return in.ConsumeIntegral<std::uint8_t>();
}

template <std::size_t N>
void fill(std::array<std::int16_t, N> &table, FuzzedDataProvider &in)
{
    for (std::int16_t &v : table)
        v = code(in);
}

auto tables(const Module1 &m)
{
    return std::tie(m.PosCode0, m.PosCode1, m.PosCode2, m.PosCode3, m.RevCode0, m.RevCode1,
                    m.RevCode2, m.RevCode3, m.TargetSpeed, m.OutSpeed, m.SliderSpeed, m.StatusAux,
                    m.TrainCmd, m.RevState, m.PointReq, m.PointArmed, m.PointBlocked, m.InitSent,
                    m.TrainColour, m.MapBackColour);
}

bool samePoints(const Module1 &a, const Module1 &b)
{
    for (int p = 0; p < kPointCount; ++p) {
        for (int e = 0; e < kPointEntries; ++e) {
            const PointRecord &x = a.PointTable[p][e];
            const PointRecord &y = b.PointTable[p][e];
            if (x.FromCode != y.FromCode || x.NextCode != y.NextCode || x.AfterCode != y.AfterCode)
                return false;
        }
    }
    return true;
}

} // namespace

void fillTables(Module1 &m, FuzzedDataProvider &in)
{
    setStartColours(m);
    fill(m.PosCode0, in);
    fill(m.PosCode1, in);
    fill(m.PosCode2, in);
    fill(m.PosCode3, in);
    fill(m.RevCode0, in);
    fill(m.RevCode1, in);
    fill(m.RevCode2, in);
    fill(m.RevCode3, in);
    fill(m.TargetSpeed, in);
    fill(m.OutSpeed, in);
    fill(m.SliderSpeed, in);
    fill(m.TrainCmd, in);
    for (std::int16_t &v : m.RevState)
        v = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? code(in)
                                                        : in.ConsumeIntegralInRange<std::int16_t>(0, 3);
    for (std::int16_t &v : m.PointReq)
        v = in.ConsumeIntegralInRange<int>(0, 15) == 0 ? code(in)
                                                        : in.ConsumeIntegralInRange<std::int16_t>(0, 1);
    for (std::int16_t &v : m.PointArmed)
        v = in.ConsumeBool() ? kTrue : kFalse;
    for (std::int16_t &v : m.PointBlocked)
        v = in.ConsumeBool() ? kTrue : kFalse;
    m.InitSent = in.ConsumeBool() ? kTrue : kFalse;
    if (in.ConsumeBool())
        fillPointTable(m);
}

bool sameTables(const Module1 &a, const Module1 &b)
{
    return tables(a) == tables(b) && samePoints(a, b);
}

void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

} // namespace relm
