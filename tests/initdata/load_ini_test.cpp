#include "initdata/load_ini.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <tuple>

namespace relm {
namespace {

using Codes = std::array<int, 4>;
using Trains = std::array<Codes, 3>; // PosCode0..3 of X, Y and Z
constexpr Codes kOff{128, 128, 128, 128};
constexpr Codes kU{99, 99, 99, 99}; // left as it was
constexpr Codes kX{9, 8, 10, 11};   // route 1 section 1 forward

Trains codesOf(const Module1 &m)
{
    Trains trains;
    for (std::size_t t = 0; t < trains.size(); ++t)
        trains[t] = {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t], m.PosCode3[t]};
    return trains;
}

// (file or none, how the load ended, train and value that stopped it or -1, its line, codes)
using LoadCase = std::tuple<std::optional<std::string>, IniLoadStatus, int, int, int, Trains>;
using LoadIniTest = testing::TestWithParam<LoadCase>;

TEST_P(LoadIniTest, PlacesTrainByTrainAndStopsAtTheFirstBadValue)
{
    const auto &[text, status, train, field, line, expected] = GetParam();
    const std::string path = testing::TempDir() + std::to_string(std::random_device{}()) + ".ini";
    if (text)
        std::ofstream(path, std::ios::binary) << *text;
    Module1 m;
    m.PosCode0 = m.PosCode1 = m.PosCode2 = m.PosCode3 = {99, 99, 99, 99};
    const IniLoadResult r = LoadIni(m, path);
    std::remove(path.c_str());
    EXPECT_EQ(std::tie(r.status, r.train, r.field, r.line), std::tie(status, train, field, line));
    EXPECT_EQ(r.trainsLoaded, r.ok() ? 3 : std::max(train, 0));
    EXPECT_EQ(r.message.find(path) == std::string::npos, r.ok()) << r.message;
    EXPECT_EQ(codesOf(m), expected);
}

using enum IniLoadStatus;
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Files, LoadIniTest,
    testing::Values(
        LoadCase{formatIni({1, 0, 0, 1, 0, 0, 1, 1, 2, 7, 0, 1}), Loaded, -1, -1, 0,
                 {{{8, 15, 9, 10}, {32, 33, 39, 38}, {23, 22, 16, 17}}}},
        LoadCase{"3,0,0,1, 0,7,0,1, 1,1,1,1", Loaded, -1, -1, 0,
                 {{{24, 31, 25, 26}, {7, 6, 0, 1}, {41, 42, 40, 47}}}},
        // An absent train still takes its four values, whatever they say.
        LoadCase{"3,7,1,0, 3,7,1,1, 2,5,0,0", Loaded, -1, -1, 0, {{kOff, {63, 56, 62, 61}, kOff}}},
        LoadCase{std::nullopt, CannotOpen, -1, -1, 0, {{kU, kU, kU}}},
        LoadCase{formatIni({}) + std::string(kMaxIniFileBytes, ' '), CannotRead, -1, -1, 0,
                 {{kU, kU, kU}}},
        LoadCase{"", EndOfFile, 0, 0, 1, {{kU, kU, kU}}},
        LoadCase{"1\n1\n0\n1\n0\n", EndOfFile, 1, 1, 6, {{kX, kU, kU}}},
        LoadCase{"1,1,0,1\n0,0,0,0\n0,0,0\n", EndOfFile, 2, 3, 4, {{kX, kOff, kU}}},
        LoadCase{"1,1,0,1\n0,0,0,0\n2\nx\n", NotANumber, 2, 1, 4, {{kX, kOff, kU}}},
        LoadCase{"1,1,0,1\n4,0,0,0\n", OutOfRange, 1, 0, 2, {{kX, kU, kU}}}, // though absent
        LoadCase{"1,1,0,1\n0,-1,0,1\n", OutOfRange, 1, 1, 2, {{kX, kU, kU}}},
        LoadCase{"1,1,0,1,0,0,0,0\n0,0,2,1", OutOfRange, 2, 2, 2, {{kX, kOff, kU}}},
        LoadCase{"1,1,0,1,0,0,0,0,0,0,0,2", OutOfRange, 2, 3, 1, {{kX, kOff, kU}}}));
// clang-format on

TEST(LoadIniMessageTest, NamesFileLineTrainValueAndTheTrainsLeftAsTheyWere)
{
    Module1 m;
    EXPECT_EQ(applyIni(m, parseIni("1\n1\n0\n1\n0\n0\nyes\n"), "atc.ini").message,
              "「atc.ini」 7 行目、列車 Y の逆転：「yes」は数値ではありません。"
              "列車 Y、Z の位置は変更されていません。");
}

} // namespace
} // namespace relm
