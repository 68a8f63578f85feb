#include "model/safety.h"

#include "model/section_code.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using Codes = std::array<std::int16_t, 4>;

// Places train t with its four position codes.
void place(Module1 &m, int t, Codes c)
{
    m.PosCode0[t] = c[0];
    m.PosCode1[t] = c[1];
    m.PosCode2[t] = c[2];
    m.PosCode3[t] = c[3];
}

Module1 allAbsent()
{
    Module1 m;
    for (int t = 0; t < kTrainCount; ++t)
        place(m, t, {128, 128, 128, 128});
    return m;
}

struct AheadCase
{
    const char *name;
    Codes other1; // train 1
    Codes other2; // train 2
    Ahead expected;
};

class CheckAheadTest : public testing::TestWithParam<AheadCase>
{};

TEST_P(CheckAheadTest, ForwardTrainAtSectionOne)
{
    const AheadCase c = GetParam();
    Module1 m = allAbsent();
    place(m, 0, {0x01, 0x00, 0x02, 0x03});
    place(m, 1, c.other1);
    place(m, 2, c.other2);
    EXPECT_EQ(CheckAhead(m, 0), c.expected);
}

constexpr Codes kAway{0x14, 0x13, 0x15, 0x16};
constexpr Codes kAbsent{128, 128, 128, 128};

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckAheadTest,
    testing::Values(
        AheadCase{"AllAbsent", kAbsent, kAbsent, Ahead::Clear},
        AheadCase{"FarAway", kAway, kAway, Ahead::Clear},
        AheadCase{"BehindOnNext", {0x04, 0x02, 0x05, 0x06}, kAbsent, Ahead::Stop},
        AheadCase{"OwnOnAfter", {0x03, 0x02, 0x04, 0x05}, kAbsent, Ahead::Stop},
        AheadCase{"OnlyAfterOccupied", {0x03, 0x04, 0x05, 0x06}, kAbsent, Ahead::Caution},
        AheadCase{"NextByOneAfterByOther", {0x05, 0x02, 0x06, 0x07}, {0x03, 0x04, 0x05, 0x06},
                  Ahead::Stop},
        AheadCase{"OthersPosCode3DoesNotCount", {0x05, 0x06, 0x04, 0x02}, kAbsent, Ahead::Clear},
        AheadCase{"OppositeDirectionBlocks", {0x22, 0x23, 0x21, 0x20}, kAbsent, Ahead::Stop},
        AheadCase{"OthersNextOnAfter", {0x05, 0x04, 0x03, 0x02}, kAbsent, Ahead::Caution},
        AheadCase{"AbsentHighCodesNeverBlock", {0x82, 0x83, 0x82, 0x83}, {0xC2, 0xA2, 0x82, 0x80},
                  Ahead::Clear},
        AheadCase{"Bit6StillBlocks", {0x42, 0x41, 0x43, 0x44}, kAbsent, Ahead::Stop},
        AheadCase{"SecondOtherTrainBlocks", kAbsent, {0x02, 0x01, 0x03, 0x04}, Ahead::Stop}),
    [](const testing::TestParamInfo<AheadCase> &p) { return std::string(p.param.name); });

TEST(CheckAheadTest, ATrainNeverBlocksItself)
{
    Module1 m = allAbsent();
    // Its own codes overlap in every way they could.
    place(m, 1, {0x02, 0x02, 0x02, 0x02});
    EXPECT_EQ(CheckAhead(m, 1), Ahead::Clear);
}

TEST(CheckAheadTest, EachTrainSeesBothOthers)
{
    Module1 m = allAbsent();
    place(m, 0, {0x01, 0x00, 0x02, 0x03});
    place(m, 1, {0x09, 0x08, 0x0A, 0x0B});
    place(m, 2, {0x03, 0x0A, 0x04, 0x05});
    EXPECT_EQ(CheckAhead(m, 0), Ahead::Caution); // train 2 stands on its section after next
    EXPECT_EQ(CheckAhead(m, 1), Ahead::Stop);    // train 2's behind is its next section
    EXPECT_EQ(CheckAhead(m, 2), Ahead::Clear);
}

TEST(RouteClearTest, CountsAllFourCodesOfTheOthers)
{
    Module1 m = allAbsent();
    place(m, 0, {0x01, 0x00, 0x02, 0x03});
    place(m, 1, {0x05, 0x06, 0x04, 0x02}); // only PosCode3 on 0x02
    EXPECT_EQ(CheckAhead(m, 0), Ahead::Clear);
    EXPECT_FALSE(RouteClear(m, 0x02, 0));
    EXPECT_FALSE(RouteClear(m, 0x22, 0)); // the direction of the tested code does not matter
    EXPECT_TRUE(RouteClear(m, 0x07, 0));
    EXPECT_TRUE(RouteClear(m, 0x04, 1)); // a train's own codes are never compared
}

TEST(RouteClearTest, AbsentOthersLeaveEverySectionFree)
{
    const Module1 m = allAbsent();
    for (int c = 0; c < 64; ++c)
        EXPECT_TRUE(RouteClear(m, static_cast<std::int16_t>(c), 0)) << c;
}

struct ReverseCase
{
    std::int16_t own;
    std::int16_t behind;
    Codes expected;
};

class MakeReverseTest : public testing::TestWithParam<ReverseCase>
{};

TEST_P(MakeReverseTest, SwapsOwnAndBehindAndStepsTheNewWay)
{
    const ReverseCase c = GetParam();
    Module1 m;
    m.PosCode0[1] = c.own;
    m.PosCode1[1] = c.behind;
    m.PosCode2[1] = 0x11; // never read
    m.RevState[1] = kRevStopping;
    MakeReverse(m, 1);
    EXPECT_EQ((Codes{m.RevCode0[1], m.RevCode1[1], m.RevCode2[1], m.RevCode3[1]}), c.expected);
    EXPECT_EQ(m.RevState[1], kRevReady);
    // The position registers wait for the controller to report the reversal.
    EXPECT_EQ(m.PosCode0[1], c.own);
    EXPECT_EQ(m.PosCode2[1], 0x11);
    EXPECT_EQ(m.RevCode0[0], 0);
    EXPECT_EQ(m.RevCode0[2], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeReverseTest,
    testing::Values(ReverseCase{0x0A, 0x09, {0x29, 0x2A, 0x28, 0x2F}},
                    ReverseCase{0x20, 0x21, {0x01, 0x00, 0x02, 0x03}},
                    ReverseCase{0x08, 0x0F, {0x2F, 0x28, 0x2E, 0x2D}}, // wraps 7 -> 6 -> 5
                    ReverseCase{0x27, 0x20, {0x00, 0x07, 0x01, 0x02}},
                    ReverseCase{128, 128, {0xA0, 0xA0, 0x27, 0x26}})); // absent passes through

TEST(MakeReverseTest, RunsWhateverTheState)
{
    Module1 m;
    m.PosCode0[2] = 0x10;
    m.PosCode1[2] = 0x17;
    MakeReverse(m, 2); // from idle: no test of its own
    EXPECT_EQ(m.RevState[2], kRevReady);
    EXPECT_EQ(m.RevCode0[2], 0x37);
}

} // namespace
} // namespace relm
