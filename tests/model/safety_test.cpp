#include "model/safety.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

using Codes = std::array<std::int16_t, 4>;
constexpr Codes kAbsent{128, 128, 128, 128};

void place(Module1 &m, int t, Codes c)
{
    m.PosCode0[t] = c[0];
    m.PosCode1[t] = c[1];
    m.PosCode2[t] = c[2];
    m.PosCode3[t] = c[3];
}

// Train X forward at section 1 (next 2, after next 3) with trains Y and Z as given.
Module1 withX(Codes y, Codes z)
{
    Module1 m;
    place(m, 0, {0x01, 0x00, 0x02, 0x03});
    place(m, 1, y);
    place(m, 2, z);
    return m;
}

using AheadCase = std::tuple<Codes, Codes, Ahead>;
class CheckAheadTest : public testing::TestWithParam<AheadCase>
{};

TEST_P(CheckAheadTest, ForwardTrainAtSectionOne)
{
    const auto [y, z, expected] = GetParam();
    EXPECT_EQ(CheckAhead(withX(y, z), 0), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckAheadTest,
    testing::Values(AheadCase{kAbsent, kAbsent, Ahead::Clear},
                    AheadCase{{0x04, 0x02, 0x05, 0x06}, kAbsent, Ahead::Stop},    // behind on next
                    AheadCase{{0x03, 0x04, 0x05, 0x06}, kAbsent, Ahead::Caution}, // after next
                    AheadCase{{0x05, 0x06, 0x04, 0x02}, kAbsent, Ahead::Clear}, // PosCode3 ignored
                    AheadCase{{0x22, 0x23, 0x21, 0x20}, kAbsent, Ahead::Stop},  // other direction
                    AheadCase{{0x82, 0xC2, 0xA2, 0x83}, kAbsent, Ahead::Clear}, // absent codes
                    AheadCase{{0x03, 0x04, 0x05, 0x06}, {0x02, 0x01, 0x03, 0x04}, Ahead::Stop}));

TEST(SafetyTest, RouteClearCountsAllFourCodesButNeverTheTrainItself)
{
    const Module1 m = withX({0x05, 0x06, 0x04, 0x02}, kAbsent); // Y's PosCode3 on 0x02
    EXPECT_FALSE(RouteClear(m, 0x22, 0));
    EXPECT_TRUE(RouteClear(m, 0x07, 0));
    EXPECT_TRUE(RouteClear(m, 0x04, 1));
}

using ReverseCase = std::tuple<std::int16_t, std::int16_t, Codes>;
class MakeReverseTest : public testing::TestWithParam<ReverseCase>
{};

TEST_P(MakeReverseTest, SwapsOwnAndBehindAndStepsTheNewWay)
{
    const auto [own, behind, expected] = GetParam();
    Module1 m;
    m.PosCode0[1] = own;
    m.PosCode1[1] = behind;
    m.RevState[1] = kRevStopping;
    MakeReverse(m, 1);
    EXPECT_EQ((Codes{m.RevCode0[1], m.RevCode1[1], m.RevCode2[1], m.RevCode3[1]}), expected);
    EXPECT_EQ(m.RevState[1], kRevReady);
    EXPECT_EQ(m.PosCode0[1], own); // positions wait for the controller to report the reversal
}

INSTANTIATE_TEST_SUITE_P(Cases, MakeReverseTest,
                         testing::Values(ReverseCase{0x0A, 0x09, {0x29, 0x2A, 0x28, 0x2F}},
                                         ReverseCase{0x20, 0x21, {0x01, 0x00, 0x02, 0x03}},
                                         ReverseCase{0x08, 0x0F, {0x2F, 0x28, 0x2E, 0x2D}},
                                         ReverseCase{128, 128, {0xA0, 0xA0, 0x27, 0x26}}));

} // namespace
} // namespace relm
