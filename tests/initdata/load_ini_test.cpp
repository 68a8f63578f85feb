#include "initdata/load_ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace relm {
namespace {

using Codes = std::array<int, 4>;

Codes codesOf(const Module1 &m, int train)
{
    const auto t = static_cast<std::size_t>(train);
    return {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t], m.PosCode3[t]};
}

// Registers filled with a value no load can produce, so untouched ones show.
Module1 filledModule()
{
    Module1 m;
    for (auto *table : {&m.PosCode0, &m.PosCode1, &m.PosCode2, &m.PosCode3})
        table->fill(99);
    return m;
}

IniValues valuesOf(const std::string &text)
{
    return parseIni(text);
}

struct PlaceCase
{
    Codes fileValues; // route, section, reverse, run
    Codes codes;      // PosCode0..3
};

class PlaceTrainTest : public testing::TestWithParam<std::tuple<PlaceCase, int>>
{
};

TEST_P(PlaceTrainTest, CodesOfOneTrainWhateverItsRow)
{
    const auto &[c, train] = GetParam();
    IniValueArray values{0, 0, 0, 0, 1, 3, 1, 1, 0, 0, 0, 0}; // rows that are not the one tested
    for (int k = 0; k < 4; ++k)
        values[static_cast<std::size_t>(train * 4 + k)] = c.fileValues[static_cast<std::size_t>(k)];
    Module1 m = filledModule();
    const IniLoadResult r = applyIni(m, parseIni(formatIni(values)), "atc.ini");
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.trainsLoaded, 3);
    EXPECT_EQ(codesOf(m, train), c.codes);
    EXPECT_EQ(m.PosCode0[3], 99) << "entry 3 is never written";
}

INSTANTIATE_TEST_SUITE_P(
    Trains, PlaceTrainTest,
    testing::Combine(
        testing::Values(PlaceCase{{1, 0, 0, 1}, {8, 15, 9, 10}},   // behind wraps 0 -> 7
                        PlaceCase{{0, 0, 1, 1}, {32, 33, 39, 38}}, // reverse: ahead is lower
                        PlaceCase{{2, 7, 0, 1}, {23, 22, 16, 17}}, // ahead wraps 7 -> 0
                        PlaceCase{{3, 0, 0, 1}, {24, 31, 25, 26}}, // route 3 behind is 31
                        PlaceCase{{0, 7, 0, 1}, {7, 6, 0, 1}},
                        PlaceCase{{1, 1, 1, 1}, {41, 42, 40, 47}},
                        PlaceCase{{3, 7, 1, 1}, {63, 56, 62, 61}},
                        PlaceCase{{3, 7, 1, 0}, {128, 128, 128, 128}}), // absent, fields ignored
        testing::Values(0, 1, 2)));

TEST(LoadIniTest, AllAbsentGivesTwelveAbsentCodes)
{
    Module1 m = filledModule();
    ASSERT_TRUE(applyIni(m, valuesOf("3,7,1,0,2,5,0,0,1,1,1,0"), "atc.ini").ok());
    for (int t = 0; t < 3; ++t)
        EXPECT_EQ(codesOf(m, t), (Codes{128, 128, 128, 128})) << t;
}

TEST(LoadIniTest, AbsentTrainStillConsumesItsFourValues)
{
    Module1 m = filledModule();
    ASSERT_TRUE(applyIni(m, valuesOf("3,7,1,0, 1,2,0,1, 0,5,1,1"), "atc.ini").ok());
    EXPECT_EQ(codesOf(m, 1), (Codes{10, 9, 11, 12}));
    EXPECT_EQ(codesOf(m, 2), (Codes{37, 38, 36, 35}));
}

struct FailCase
{
    const char *name;
    std::string text;
    IniLoadStatus status;
    int train;
    int field;
    int line;
};

class LoadFailureTest : public testing::TestWithParam<FailCase>
{
};

TEST_P(LoadFailureTest, StopsAtTheBadValueAndKeepsLaterTrainsUntouched)
{
    const FailCase &c = GetParam();
    Module1 m = filledModule();
    const IniLoadResult r = applyIni(m, valuesOf(c.text), "atc.ini");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.train, c.train);
    EXPECT_EQ(r.field, c.field);
    EXPECT_EQ(r.trainsLoaded, c.train);
    EXPECT_EQ(r.line, c.line);
    EXPECT_FALSE(r.message.empty());
    const std::array<Codes, 2> loaded{Codes{9, 8, 10, 11}, Codes{128, 128, 128, 128}};
    for (int t = 0; t < 3; ++t) {
        const Codes expected =
            t < c.train ? loaded[static_cast<std::size_t>(t)] : Codes{99, 99, 99, 99};
        EXPECT_EQ(codesOf(m, t), expected) << "train " << t;
    }
}

// Train X: route 1 section 1 forward on the layout; train Y absent; train Z is where faults go.
INSTANTIATE_TEST_SUITE_P(
    Files, LoadFailureTest,
    testing::Values(
        FailCase{"Empty", "", IniLoadStatus::EndOfFile, 0, 0, 1},
        FailCase{"EndsInTrainX", "1\n1\n", IniLoadStatus::EndOfFile, 0, 2, 3},
        FailCase{"EndsInTrainY", "1\n1\n0\n1\n0\n", IniLoadStatus::EndOfFile, 1, 1, 6},
        FailCase{"EndsBeforeLastValue", "1\n1\n0\n1\n0\n0\n0\n0\n0\n0\n0\n",
                 IniLoadStatus::EndOfFile, 2, 3, 12},
        FailCase{"WordInTrainX", "1\nabc\n", IniLoadStatus::NotANumber, 0, 1, 2},
        FailCase{"WordInTrainZ", "1\n1\n0\n1\n0\n0\n0\n0\n 2 \nx\n", IniLoadStatus::NotANumber, 2,
                 1, 10},
        FailCase{"RouteTooLarge", "4\n1\n0\n1\n", IniLoadStatus::OutOfRange, 0, 0, 1},
        FailCase{"SectionEight", "1\n1\n0\n1\n0\n8\n0\n0\n", IniLoadStatus::OutOfRange, 1, 1, 6},
        FailCase{"NegativeSection", "1,1,0,1\n0,-1,0,0\n", IniLoadStatus::OutOfRange, 1, 1, 2},
        FailCase{"ReverseTwo", "1\n1\n0\n1\n0\n0\n0\n0\n0\n0\n2\n1\n", IniLoadStatus::OutOfRange, 2,
                 2, 11},
        FailCase{"RunTwo", "1\n1\n0\n1\n0\n0\n0\n0\n0\n0\n0\n2\n", IniLoadStatus::OutOfRange, 2, 3,
                 12},
        FailCase{"BadRouteOfAbsentTrain", "1\n1\n0\n1\n9\n0\n0\n0\n", IniLoadStatus::OutOfRange, 1,
                 0, 5}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(LoadIniTest, MessageNamesFileLineTrainAndField)
{
    Module1 m;
    const IniLoadResult bad = applyIni(m, valuesOf("1\n1\n0\n1\n0\n0\nyes\n"), "atc.ini");
    EXPECT_EQ(bad.message, "「atc.ini」 7 行目、列車 Y の逆転：「yes」は数値ではありません。"
                           "列車 Y、Z の位置は変更されていません。");
    const IniLoadResult range = applyIni(m, valuesOf("1\n1\n0\n1\n0\n0\n0\n0\n5\n"), "atc.ini");
    EXPECT_EQ(range.message, "「atc.ini」 9 行目、列車 Z の路線：値 5 は範囲 0〜3 の外です。"
                             "列車 Z の位置は変更されていません。");
}

// A directory of its own for each test, removed afterwards.
class LoadIniFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto *info = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                ("relm_loadini_" + std::string(info->name()) + "_" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string write(const std::string &bytes)
    {
        const std::string path = (m_dir / "atc.ini").string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::filesystem::path m_dir;
};

TEST_F(LoadIniFileTest, FileWrittenAsTheDialogDoesLoadsItsSettings)
{
    Module1 m = filledModule();
    const std::string path = write(formatIni({1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0}));
    const IniLoadResult r = LoadIni(m, path);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(codesOf(m, 0), (Codes{10, 9, 11, 12}));
    EXPECT_EQ(codesOf(m, 1), (Codes{37, 38, 36, 35}));
    EXPECT_EQ(codesOf(m, 2), (Codes{128, 128, 128, 128}));
}

TEST_F(LoadIniFileTest, MissingOrUnreadableFileLeavesEveryRegister)
{
    const std::string oversized = write(formatIni({}) + std::string(kMaxIniFileBytes, ' '));
    const struct
    {
        std::string path;
        IniLoadStatus status;
    } cases[] = {{(m_dir / "none.ini").string(), IniLoadStatus::CannotOpen},
                 {m_dir.string(), IniLoadStatus::CannotRead}, // a directory, not a file
                 {oversized, IniLoadStatus::CannotRead}};
    for (const auto &c : cases) {
        Module1 m = filledModule();
        const IniLoadResult r = LoadIni(m, c.path);
        EXPECT_EQ(r.status, c.status) << c.path;
        EXPECT_EQ(r.trainsLoaded, 0);
        EXPECT_NE(r.message.find(c.path), std::string::npos) << r.message;
        for (int t = 0; t < 3; ++t)
            EXPECT_EQ(codesOf(m, t), (Codes{99, 99, 99, 99})) << c.path;
    }
}

} // namespace
} // namespace relm
