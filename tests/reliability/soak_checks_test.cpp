#include "initial_positions.h"
#include "soak_checks.h"
#include "soak_random.h"

#include "initdata/load_ini.h"
#include "model/section_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

TrainTruth standing(int head, int tail)
{
    TrainTruth t;
    t.present = true;
    t.head = head;
    t.tail = tail;
    return t;
}

TrainTruth running(int head, int tail, double speed, int speedRegister)
{
    TrainTruth t = standing(head, tail);
    t.speed = speed;
    t.speedRegister = speedRegister;
    return t;
}

const TrainTruth kAbsentTrain{};

// The base pairs of a command frame with these speeds, then the extra pairs.
Bytes commandFrame(std::array<int, 3> speeds, std::vector<std::pair<int, int>> extra = {})
{
    Bytes f{0xFF, static_cast<std::uint8_t>(6 + extra.size())};
    for (int t = 0; t < 3; ++t) {
        f.insert(f.end(), {static_cast<std::uint8_t>(14 * t + 3), 0x02,
                           static_cast<std::uint8_t>(14 * t + 4),
                           static_cast<std::uint8_t>(speeds[static_cast<std::size_t>(t)])});
    }
    for (const auto &[address, value] : extra)
        f.insert(f.end(), {static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(value)});
    return f;
}

// Reversed registers for train t: own, behind, next, after next.
std::vector<std::pair<int, int>> reversal(int t, int own)
{
    return {{14 * t, own}, {14 * t + 1, own ^ 0x21}, {14 * t + 2, own - 1}, {14 * t + 3, own - 2}};
}

std::vector<std::pair<int, int>> pointCommand(int t, int next, int command = 0x30)
{
    return {{14 * t + 2, next}, {14 * t + 7, command}};
}

struct FrameCase
{
    const char *name;
    LayoutTruth truth;
    Bytes frame;
    std::vector<ViolationKind> expected; // in frame order
};

class CommandFrameCheckTest : public testing::TestWithParam<FrameCase>
{};

TEST_P(CommandFrameCheckTest, FindsExactlyTheBrokenRules)
{
    const FrameCase &c = GetParam();
    std::vector<ViolationKind> found;
    for (const FrameFinding &f : checkCommandFrame(c.frame, c.truth))
        found.push_back(f.kind);
    EXPECT_EQ(found, c.expected);
}

const std::vector<FrameCase> kFrameCases{
    {"PlainFrameBreaksNothing",
     {running(1, 0, 40.0, 40), standing(9, 8), kAbsentTrain},
     commandFrame({40, 0, 0}),
     {}},
    {"ReversalOfAStandingTrainWithSpeedZero",
     {standing(10, 9), standing(20, 19), kAbsentTrain},
     commandFrame({0, 0, 0}, reversal(0, 0x29)),
     {}},
    {"ReversalWhileTheTrainStillRolls",
     {running(10, 9, 0.6, 0), kAbsentTrain, kAbsentTrain},
     commandFrame({0, 0, 0}, reversal(0, 0x29)),
     {ViolationKind::ReversalWhileMoving}},
    {"ReversalWhileItsSpeedRegisterAsksToRun",
     {kAbsentTrain, running(10, 9, 0.0, 20), kAbsentTrain},
     commandFrame({0, 20, 0}, reversal(1, 0x29)),
     {ViolationKind::ReversalWhileMoving}},
    {"SpeedZeroInTheSameFrameBeforeTheReversalCounts",
     {kAbsentTrain, running(10, 9, 0.0, 20), kAbsentTrain},
     commandFrame({0, 0, 0}, reversal(1, 0x29)),
     {}},
    {"ReversalInTheSameFrameAsANewStartingSpeed",
     {kAbsentTrain, kAbsentTrain, standing(10, 9)},
     commandFrame({0, 0, 20}, reversal(2, 0x29)),
     {ViolationKind::ReversalWhileMoving}},
    {"ReversalOfAnAbsentTrainMovesNothing",
     {kAbsentTrain, kAbsentTrain, kAbsentTrain},
     commandFrame({0, 0, 20}, reversal(2, 0xA0)),
     {}},
    {"PointIntoAFreeSection",
     {standing(8, 15), standing(3, 2), kAbsentTrain},
     commandFrame({0, 0, 0}, pointCommand(0, 0x00)),
     {}},
    {"PointIntoTheHeadOfAnotherTrain",
     {standing(8, 15), standing(0, 7), kAbsentTrain},
     commandFrame({0, 0, 0}, pointCommand(0, 0x00)),
     {ViolationKind::PointIntoOccupied}},
    {"PointIntoTheTailOfAnotherTrainRunningTheOtherWay",
     {standing(8, 15), kAbsentTrain, standing(1, 0)},
     commandFrame({0, 0, 0}, pointCommand(0, 0x20)),
     {ViolationKind::PointIntoOccupied}},
    {"PointIntoItsOwnTailIsNoConflict",
     {standing(0, 9), kAbsentTrain, kAbsentTrain},
     commandFrame({0, 0, 0}, pointCommand(0, 0x09)),
     {}},
    {"AnAbsentTrainCoversNothing",
     {standing(8, 15), TrainTruth{false, 0, 7, 0.0, 0}, kAbsentTrain},
     commandFrame({0, 0, 0}, pointCommand(0, 0x00)),
     {}},
    {"OnlyThePointCommandIsChecked",
     {standing(1, 0), standing(0, 7), kAbsentTrain},
     commandFrame({0, 0, 0}, pointCommand(0, 0x00, 0x20)),
     {}},
    {"BothRulesBrokenInOneFrame",
     {running(10, 9, 5.0, 20), standing(0, 7), standing(8, 15)},
     commandFrame({20, 0, 0}, [] {
         auto pairs = pointCommand(2, 0x00);
         for (const auto &p : reversal(0, 0x29))
             pairs.push_back(p);
         return pairs;
     }()),
     {ViolationKind::PointIntoOccupied, ViolationKind::ReversalWhileMoving}},
};

INSTANTIATE_TEST_SUITE_P(Frames, CommandFrameCheckTest, testing::ValuesIn(kFrameCases),
                         [](const testing::TestParamInfo<FrameCase> &p) { return std::string(p.param.name); });

TEST(CommandFrameCheckTest, ShortAndCutFramesAreReadOnlyAsFarAsTheyGo)
{
    const LayoutTruth truth{running(10, 9, 5.0, 20), kAbsentTrain, kAbsentTrain};
    EXPECT_TRUE(checkCommandFrame(Bytes{}, truth).empty());
    EXPECT_TRUE(checkCommandFrame(Bytes{0xFF}, truth).empty());
    // The count promises a reversal whose register 0 pair never arrived.
    EXPECT_TRUE(checkCommandFrame(Bytes{0xFF, 4, 3, 0, 4, 0, 0}, truth).empty());
    EXPECT_EQ(checkCommandFrame(Bytes{0xFF, 4, 3, 0, 4, 0, 0, 0x29}, truth).size(), 1u);
}

// The initialisation frame for own sections X, Y, Z (the other registers follow them).
Bytes initFrame(std::array<int, 3> own)
{
    Bytes f{0xFF, 12};
    for (int t = 0; t < 3; ++t) {
        for (int k = 0; k < 4; ++k) {
            f.push_back(static_cast<std::uint8_t>(14 * t + k));
            const int code = own[static_cast<std::size_t>(t)];
            f.push_back(static_cast<std::uint8_t>(code < 0x80 ? code + k : code));
        }
    }
    return f;
}

TEST(PositionsReplacedTest, NamesEveryPlacedTrainTheFrameMovedElsewhere)
{
    const Module1::Table4 loaded{0x0A, 0x80, 0x31, 0};
    EXPECT_TRUE(positionsReplaced(initFrame({0x0A, 0x80, 0x31}), loaded).empty());
    // A train the file left off the layout may be anywhere: nothing was loaded for it.
    EXPECT_TRUE(positionsReplaced(initFrame({0x0A, 0x15, 0x31}), loaded).empty());
    const auto replaced = positionsReplaced(initFrame({0x80, 0x80, 0x12}), loaded);
    ASSERT_EQ(replaced.size(), 2u);
    EXPECT_EQ(replaced[0].first, 0);
    EXPECT_EQ(replaced[1].first, 2);
    EXPECT_NE(replaced[1].second.find("31"), std::string::npos);
    // A frame cut before train Z's registers does not place Z at all.
    const Bytes whole = initFrame({0x0A, 0x80, 0x31});
    const auto cut = positionsReplaced(Bytes(whole.begin(), whole.begin() + 18), loaded);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].first, 2);
}

// Placements are drawn for many seeds: each must load cleanly and keep the trains' sections
// (behind, own, next, after next) apart, or the soak would start with a collision of its own.
class TrainsApartTest : public testing::TestWithParam<std::uint64_t>
{};

TEST_P(TrainsApartTest, LoadedTrainsHoldDisjointSections)
{
    SoakRandom random(GetParam());
    for (int draw = 0; draw < 200; ++draw) {
        const IniValueArray values = trainsApart(random);
        IniValues read;
        read.values = values;
        read.count = kIniValueCount;
        read.stop = IniStop::Complete;
        Module1 m;
        ASSERT_TRUE(applyIni(m, read, "atc.ini").ok());
        std::multiset<int> held;
        for (int t = 0; t < kTrainCount; ++t) {
            if (m.PosCode0[t] == kAbsentCode)
                continue;
            std::set<int> own;
            for (const std::int16_t c : {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t], m.PosCode3[t]})
                own.insert(sectionNumber(c));
            ASSERT_EQ(own.size(), 4u);
            held.insert(own.begin(), own.end());
        }
        for (const int s : held)
            ASSERT_EQ(held.count(s), 1u) << "section " << s << " given twice, draw " << draw;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, TrainsApartTest, testing::Values(1u, 2u, 77u, 4096u));

TEST(SoakRandomTest, SequenceDependsOnlyOnTheSeed)
{
    SoakRandom a(42);
    SoakRandom b(42);
    SoakRandom c(43);
    int differ = 0;
    for (int i = 0; i < 100; ++i) {
        const std::uint64_t x = a.next();
        EXPECT_EQ(x, b.next());
        differ += x != c.next() ? 1 : 0;
    }
    EXPECT_EQ(differ, 100);
    // Draws stay in their ranges and reach both ends.
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        const int v = a.between(-2, 3);
        ASSERT_GE(v, -2);
        ASSERT_LE(v, 3);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 6u);
}

} // namespace
} // namespace relm
