#include "link/status_event.h"

#include "link_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace relm {
namespace {

using test::Bytes;
using test::Record;

constexpr BarFrame kFrame{1575, 1920};

Module1 allAbsent()
{
    Module1 m;
    for (int t = 0; t < kTrainCount; ++t)
        test::place(m, t, {128, 128, 128, 128});
    return m;
}

TEST(StatusEventTest, ShowsEveryByteInHexWithATrailingSpace)
{
    Module1 m;
    EXPECT_EQ(statusEvent(m, Bytes{0x05, 0x80, 0x1F}, kFrame).label1Text, "5 80 1F ");
    EXPECT_EQ(statusEvent(m, Bytes{0x00, 0x0A, 0xFF}, kFrame).label1Text, "0 A FF ");
    EXPECT_EQ(statusEvent(m, Bytes{}, kFrame).label1Text, "");
}

using BlockLengthTest = testing::TestWithParam<std::size_t>;

// Two frames back to back; only a whole first frame is ever decoded.
TEST_P(BlockLengthTest, DecodesOnlyAWholeFirstFrame)
{
    const std::size_t size = GetParam();
    Bytes both = test::statusFrame({0x05, 0x04, 0x06, 64}, {0x14, 0x13, 0x15, 40});
    const Bytes second = test::statusFrame({0x06, 0x05, 0x07, 64});
    both.insert(both.end(), second.begin(), second.end());
    const Bytes block(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(size));

    Module1 m = allAbsent();
    m.RevState[1] = kRevRequested;
    const StatusView v = statusEvent(m, block, kFrame);
    EXPECT_EQ(static_cast<std::size_t>(std::count(v.label1Text.begin(), v.label1Text.end(), ' ')),
              size);
    const bool whole = size >= 23;
    EXPECT_EQ(v.decoded, whole);
    EXPECT_EQ(m.PosCode0[0], whole ? 0x05 : 128);
    EXPECT_EQ(m.PosCode0[1], whole ? 0x14 : 128);
    EXPECT_EQ(m.RevState[1], whole ? kRevStopping : kRevRequested);
    EXPECT_EQ(v.trains[2].colour.has_value(), whole);
    EXPECT_EQ(v.mapRedraws, whole ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlockLengthTest, testing::Values(0, 10, 11, 22, 23, 24, 48));

struct CaptionCase
{
    Record x;
    const char *caption;
};

using CaptionTest = testing::TestWithParam<CaptionCase>;

TEST_P(CaptionTest, ShowsBehindOwnNextAndAfterNext)
{
    Module1 m = allAbsent();
    const StatusView v = statusEvent(m, test::statusFrame(GetParam().x), kFrame);
    EXPECT_EQ(v.trains[0].caption, GetParam().caption);
    EXPECT_EQ(v.trains[1].caption, "80 80 80 80");
}

INSTANTIATE_TEST_SUITE_P(Captions, CaptionTest,
                         testing::Values(CaptionCase{{0x00, 0x07, 0x01}, "7 0 1 2"},
                                         CaptionCase{{0x29, 0x2A, 0x28}, "2A 29 28 2F"},
                                         CaptionCase{{0x0F, 0x0E, 0x08}, "E F 8 9"}));

struct AheadCase
{
    const char *name;
    Record y; // the other train
    int slider;
    bool armed;
    bool blocked;
    std::uint32_t colour;
    int target;
};

using StatusPassTest = testing::TestWithParam<AheadCase>;

TEST_P(StatusPassTest, ColoursTheLabelAndSetsTheTarget)
{
    const AheadCase &c = GetParam();
    Module1 m = allAbsent();
    m.SliderSpeed[0] = static_cast<std::int16_t>(c.slider);
    m.PointArmed[0] = c.armed ? kTrue : kFalse;
    m.PointBlocked[0] = c.blocked ? kTrue : kFalse;
    // Train X moves into section 0x11: next 0x12, after next 0x13.
    const StatusView v = statusEvent(m, test::statusFrame({0x11, 0x10, 0x12}, c.y), kFrame);
    EXPECT_EQ(v.trains[0].colour, c.colour);
    EXPECT_EQ(m.TargetSpeed[0], c.target);
}

constexpr Record kOnNext{0x12, 0x13, 0x14};
constexpr Record kOnAfter{0x13, 0x14, 0x15};

INSTANTIATE_TEST_SUITE_P(
    Checks, StatusPassTest,
    testing::Values(
        AheadCase{"Clear", test::kAbsent, 100, false, false, kStatusLightCyan, 100},
        AheadCase{"CautionClips49", kOnAfter, 49, false, false, kStatusLightYellow, 48},
        AheadCase{"CautionKeeps48", kOnAfter, 48, false, false, kStatusLightYellow, 48},
        AheadCase{"CautionKeeps30", kOnAfter, 30, false, false, kStatusLightYellow, 30},
        AheadCase{"Stop", kOnNext, 100, false, false, kStatusLightRed, 0},
        AheadCase{"ArmedRunsAtCautionThroughAStop", kOnNext, 100, true, false, kStatusLightYellow,
                  48},
        AheadCase{"BlockedStopsWhenClear", test::kAbsent, 100, false, true, kStatusLightRed, 0},
        // Codes 129..255 of another train are absent for the check, whatever their low bits.
        AheadCase{
            "HighCodesDoNotBlock", {0x92, 0xB2, 0xD2}, 100, false, false, kStatusLightCyan, 100}),
    [](const testing::TestParamInfo<AheadCase> &p) { return std::string(p.param.name); });

struct PresenceCase
{
    const char *name;
    int code; // byte 0 of X's record; X stood in 0x05
    std::optional<std::uint32_t> colour;
    bool bar;
    int target;
    int redraws;
    std::uint32_t otherColour; // Y runs towards 0x05, then 0x06
};

using PresenceTest = testing::TestWithParam<PresenceCase>;

TEST_P(PresenceTest, AbsentTrainsTurnGreyAndKeepTheirTargetAndBar)
{
    const PresenceCase &c = GetParam();
    Module1 m = allAbsent();
    test::place(m, 0, {0x05, 0x04, 0x06, 0x07});
    test::place(m, 1, {0x04, 0x03, 0x05, 0x06});
    m.SliderSpeed[0] = 100;
    m.TargetSpeed[0] = 60;
    const StatusView v =
        statusEvent(m, test::statusFrame({c.code, 128, 128, 64}, {0x04, 0x03, 0x05}), kFrame);
    EXPECT_EQ(v.trains[0].colour, c.colour);
    EXPECT_EQ(v.trains[0].barHeight.has_value(), c.bar);
    EXPECT_EQ(v.trains[0].barTop.has_value(), c.bar);
    EXPECT_EQ(m.TargetSpeed[0], c.target);
    EXPECT_EQ(v.mapRedraws, c.redraws);
    EXPECT_EQ(v.trains[1].colour, c.otherColour);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PresenceTest,
    testing::Values(PresenceCase{"Stays", 0x05, kStatusLightCyan, true, 100, 0, kStatusLightRed},
                    PresenceCase{"Moves", 0x06, kStatusLightCyan, true, 100, 1, kStatusLightYellow},
                    PresenceCase{"Absent", 0x80, kStatusGrey, false, 60, 0, kStatusLightCyan},
                    PresenceCase{"Code133", 0x85, kStatusLightCyan, true, 100, 0, kStatusLightCyan},
                    PresenceCase{"Code255", 0xFF, kStatusLightCyan, true, 100, 0,
                                 kStatusLightCyan}),
    [](const testing::TestParamInfo<PresenceCase> &p) { return std::string(p.param.name); });

TEST(StatusEventTest, RepeatedPositionsKeepPosCode3AndRedrawNothing)
{
    Module1 m = allAbsent();
    const Bytes frame = test::statusFrame({0x08, 0x0F, 0x09}, {0x14, 0x13, 0x15});
    EXPECT_EQ(statusEvent(m, frame, kFrame).mapRedraws, 2);
    m.PosCode3[0] = 0x01; // an armed point route
    EXPECT_EQ(statusEvent(m, frame, kFrame).mapRedraws, 0);
    EXPECT_EQ(m.PosCode3[0], 0x01);
    EXPECT_EQ(m.PosCode3[1], 0x16);
}

struct BarCase
{
    int speed;
    int height;
    int top;
};

using SpeedBarTest = testing::TestWithParam<BarCase>;

TEST_P(SpeedBarTest, GrowsUpFromTheFramesBottomEdge)
{
    Module1 m = allAbsent();
    const StatusView v =
        statusEvent(m, test::statusFrame({0x01, 0x00, 0x02, GetParam().speed}), kFrame);
    EXPECT_EQ(v.trains[0].barHeight, GetParam().height);
    EXPECT_EQ(v.trains[0].barTop, GetParam().top);
}

// 64 and 192 land on half a twip: halves go to the even neighbour. 200 rises above the frame.
INSTANTIATE_TEST_SUITE_P(Speeds, SpeedBarTest,
                         testing::Values(BarCase{0, 0, 3495}, BarCase{1, 12, 3483},
                                         BarCase{64, 788, 2707}, BarCase{128, 1575, 1920},
                                         BarCase{192, 2362, 1133}, BarCase{200, 2461, 1034}));

} // namespace
} // namespace relm
