#include "link/command_tick.h"
#include "link/status_event.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr BarFrame kFrame{1575, 1920}; // bottom edge at 3495 twips
// The label colours the windows must show (0x00BBGGRR), written out rather than taken from the
// code under test.
constexpr std::uint32_t kCyan = 0xFFFFC0;
constexpr std::uint32_t kYellow = 0x80FFFF;
constexpr std::uint32_t kRed = 0x8080FF;
constexpr std::uint32_t kGrey = 0xC0C0C0;

// One train's status record: own, behind and next section, and the reported speed.
struct Record
{
    int pos0 = 128, pos1 = 128, pos2 = 128, speed = 0;
};

// A whole 24-byte status frame, Z absent; offsets 3, 4, 6 and 7 of each record carry filler.
Bytes statusFrame(const Record &x, const Record &y = {})
{
    Bytes b;
    for (const Record &r : {x, y, Record{}}) {
        for (const int v : {r.pos0, r.pos1, r.pos2, 0xEE, 0xEE, r.speed, 0xEE, 0xEE})
            b.push_back(static_cast<std::uint8_t>(v));
    }
    return b;
}

// No train on the layout, the point table filled, the cycle running, X's slider at 100.
Module1 initialised()
{
    Module1 m;
    m.PosCode0 = m.PosCode1 = m.PosCode2 = m.PosCode3 = {128, 128, 128, 128};
    fillPointTable(m);
    m.InitSent = kTrue;
    m.SliderSpeed[0] = 100;
    return m;
}

using BlockLengthTest = testing::TestWithParam<std::size_t>;

// Every byte is shown; a partial frame is never decoded, and a longer block decodes its first
// frame only.
TEST_P(BlockLengthTest, DecodesOnlyAWholeFirstFrame)
{
    Bytes block = statusFrame({0x05, 0x04, 0x06}, {0x00, 0x07, 0x01, 40});
    block.resize(GetParam(), 0x01); // bytes after the first frame read as section 1
    Module1 m = initialised();
    m.RevState[1] = kRevRequested;
    const StatusView v = statusEvent(m, block, kFrame);
    EXPECT_EQ(std::count(v.label1Text.begin(), v.label1Text.end(), ' '), std::ssize(block));
    const bool whole = block.size() >= 23;
    EXPECT_EQ(v.decoded, whole);
    EXPECT_EQ(m.RevState[1], whole ? kRevStopping : kRevRequested);
    EXPECT_EQ(v.mapRedraws, whole ? 2 : 0);
    // Behind, own, next, after next.
    EXPECT_EQ(v.trains[1].caption, whole ? std::optional<std::string>("7 0 1 2") : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BlockLengthTest, testing::Values(0, 11, 22, 23, 48));

TEST(StatusEventTest, AFrameBeforeTheInitialisationFrameKeepsTheLoadedPositions)
{
    Module1 m = initialised();
    m.InitSent = kFalse; // atc.ini just loaded, initialisation frame not yet sent
    const StatusView v = statusEvent(m, statusFrame({0x05, 0x04, 0x06}, {0x00, 0x07, 0x01, 40}), kFrame);
    EXPECT_FALSE(v.decoded);
    EXPECT_FALSE(v.label1Text.empty());
    EXPECT_EQ(m.PosCode0[0], 128);
}

enum class Point { Free, Armed, Blocked };

// X's point state, Y's record, X's section, reported speed and slider; then X's colour and
// target, the map redraws, and X's bar height (empty: the bar stays as it was). X's target was 60.
using StatusCase =
    std::tuple<Point, Record, int, int, int, std::uint32_t, int, int, std::optional<int>>;
using StatusPassTest = testing::TestWithParam<StatusCase>;

TEST_P(StatusPassTest, ColoursTheLabelSetsTheTargetAndDrawsTheBar)
{
    const auto &[point, y, own, speed, slider, colour, target, redraws, bar] = GetParam();
    Module1 m = initialised();
    m.TargetSpeed[0] = 60;
    m.SliderSpeed[0] = static_cast<std::int16_t>(slider);
    m.PointArmed[0] = point == Point::Armed ? kTrue : kFalse;
    m.PointBlocked[0] = point == Point::Blocked ? kTrue : kFalse;
    const StatusView v = statusEvent(m, statusFrame({own, own - 1, own + 1, speed}, y), kFrame);
    EXPECT_EQ(v.trains[0].colour, colour);
    EXPECT_EQ(m.TargetSpeed[0], target);
    EXPECT_EQ(v.mapRedraws, redraws);
    EXPECT_EQ(v.trains[0].barHeight, bar);
    // The bar grows upward from the frame's bottom edge.
    EXPECT_EQ(v.trains[0].barTop, bar ? std::optional<int>(3495 - *bar) : std::nullopt);
}

// X runs into section 0x11: next 0x12, after next 0x13. Caution clips the slider to 48; a set
// point route limits a clear train to caution but never lifts a stop, a refused one stops. Bar heights are speed * 1575 /
// 128, halves to even (64 and 192 land on half a twip); 200 rises above the frame. Only 128 is
// absent: grey, target and bar kept. 129..255 are present but never drawn on the map.
constexpr Record kOnNext{0x12, 0x13, 0x14};
constexpr Record kOnAfter{0x13, 0x14, 0x15};

INSTANTIATE_TEST_SUITE_P(
    Checks, StatusPassTest,
    testing::Values(StatusCase{Point::Free, kOnAfter, 0x11, 192, 49, kYellow, 48, 2, 2362},
                    StatusCase{Point::Free, kOnAfter, 0x11, 128, 30, kYellow, 30, 2, 1575},
                    StatusCase{Point::Armed, {}, 0x11, 200, 99, kYellow, 48, 1, 2461},
                    StatusCase{Point::Armed, kOnNext, 0x11, 0, 99, kRed, 0, 2, 0},
                    StatusCase{Point::Blocked, {}, 0x11, 0, 99, kRed, 0, 1, 0},
                    StatusCase{Point::Free, {}, 128, 64, 99, kGrey, 60, 0, std::nullopt},
                    StatusCase{Point::Free, {}, 0x85, 64, 99, kCyan, 99, 0, 788}));

// Train X on route 1 before and at the point from route 1 into route 0 (FromCode 0x08,
// NextCode 0x00, AfterCode 0x01); Y with its section after the next on 0x00.
constexpr Record kApproach{0x0F, 0x0E, 0x08};
constexpr Record kAtFrom{0x08, 0x0F, 0x09};
constexpr Record kBlocking{0x06, 0x05, 0x07};

// What the operator does before a frame: presses Point, withdraws the request, or presses Reset.
enum class Op { None, Request, Withdraw, Reset };
// X's PointArmed, PointBlocked, PointReq, TrainCmd, PosCode2, PosCode3, colour, and whether the
// Point button gets its face colour back.
using PointState = std::tuple<int, int, int, int, int, int, std::uint32_t, bool>;
using PointStep = std::tuple<Op, Record, Record, PointState>; // then a frame with X and Y
using PointScenarioTest = testing::TestWithParam<std::vector<PointStep>>;

TEST_P(PointScenarioTest, FollowsTheRequestAcrossFrames)
{
    Module1 m = initialised();
    int step = 0;
    for (const auto &[op, x, y, after] : GetParam()) {
        if (op == Op::Reset)
            m.TrainCmd[0] = kCmdStop;
        else if (op != Op::None)
            m.PointReq[0] = op == Op::Request ? 1 : 0;
        const TrainView v = statusEvent(m, statusFrame(x, y), kFrame).trains[0];
        EXPECT_EQ(PointState(m.PointArmed[0], m.PointBlocked[0], m.PointReq[0], m.TrainCmd[0],
                             m.PosCode2[0], m.PosCode3[0], *v.colour, v.resetPointButton),
                  after)
            << "step " << step++;
    }
}

// Armed, withdrawn and still completed at AfterCode with 0x20; until the command has gone out,
// a frame still reporting the old next section keeps the armed route. Refused, withdrawn and
// held at stop, then armed once the route is free, without the train moving. A waiting stop is
// never replaced by the point command.
INSTANTIATE_TEST_SUITE_P(
    Points, PointScenarioTest,
    testing::Values(
        std::vector<PointStep>{
            {Op::Request, kApproach, {}, {0, 0, 1, 0, 0x08, 0x09, kCyan, false}},
            {Op::None, kAtFrom, {}, {-1, 0, 1, 0x30, 0x00, 0x01, kYellow, false}},
            {Op::None, kAtFrom, {}, {-1, 0, 1, 0x30, 0x00, 0x01, kYellow, false}},
            {Op::Withdraw, {0x00, 0x08, 0x01}, {}, {-1, 0, 0, 0x30, 0x01, 0x02, kYellow, false}},
            {Op::None, {0x01, 0x00, 0x02}, {}, {0, 0, 0, 0x20, 0x02, 0x03, kCyan, true}}},
        std::vector<PointStep>{
            {Op::Request, kAtFrom, kBlocking, {0, -1, 1, 0, 0x09, 0x0A, kRed, false}},
            {Op::Withdraw, kAtFrom, {}, {0, -1, 0, 0, 0x09, 0x0A, kRed, false}},
            {Op::Request, kAtFrom, {}, {-1, 0, 1, 0x30, 0x00, 0x01, kYellow, false}}},
        std::vector<PointStep>{
            {Op::Request, kApproach, {}, {0, 0, 1, 0, 0x08, 0x09, kCyan, false}},
            {Op::Reset, kAtFrom, {}, {-1, 0, 1, kCmdStop, 0x00, 0x01, kYellow, false}}}));

TEST(StatusEventTest, ATrainLeavingTheLayoutRedrawsNothing)
{
    Module1 m = initialised();
    statusEvent(m, statusFrame({0x11, 0x10, 0x12}), kFrame);
    // X's own code turns to exactly 128: the map keeps showing it where it was last drawn.
    const StatusView v = statusEvent(m, statusFrame({128, 128, 128}), kFrame);
    EXPECT_EQ(v.mapRedraws, 0);
    EXPECT_EQ(v.trains[0].colour, kGrey);
}

// Each filled point record, for a train arriving from the section before its FromCode: armed
// there with its NextCode and AfterCode, completed on reaching AfterCode.
struct PointRecordCase
{
    int approach, from, next, after;
};

using PointRecordTest = testing::TestWithParam<PointRecordCase>;

TEST_P(PointRecordTest, ArmsAtFromCodeAndCompletesAtAfterCode)
{
    const PointRecordCase &c = GetParam();
    Module1 m = initialised();
    m.PointReq[0] = 1;
    statusEvent(m, statusFrame({c.approach, 0x80, c.from}), kFrame);
    EXPECT_EQ(m.PointArmed[0], kFalse);
    statusEvent(m, statusFrame({c.from, c.approach, c.from}), kFrame);
    EXPECT_EQ(m.PointArmed[0], kTrue);
    EXPECT_EQ(m.PosCode2[0], c.next);
    EXPECT_EQ(m.PosCode3[0], c.after);
    EXPECT_EQ(m.TrainCmd[0], 0x30);
    commandTick(m, false);
    statusEvent(m, statusFrame({c.next, c.from, c.after}), kFrame);
    EXPECT_EQ(m.PointArmed[0], kTrue);
    EXPECT_TRUE(statusEvent(m, statusFrame({c.after, c.next, c.after}), kFrame)
                    .trains[0]
                    .resetPointButton);
    EXPECT_EQ(m.TrainCmd[0], 0x20);
    EXPECT_EQ(m.PointReq[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Records, PointRecordTest,
                         testing::Values(PointRecordCase{0x0F, 0x08, 0x00, 0x01},
                                         PointRecordCase{0x07, 0x00, 0x09, 0x0A},
                                         PointRecordCase{0x2A, 0x29, 0x20, 0x27},
                                         PointRecordCase{0x21, 0x20, 0x28, 0x2F}));

// Reverse: the train is stopped, reversed once it stands, held at 0 until the reversed
// registers have gone out, and then runs on in the new direction.
TEST(ReversalTest, StopsWaitsForAStandstillSendsTheReversalAndRunsOn)
{
    Module1 m = initialised();
    m.OutSpeed[0] = m.TargetSpeed[0] = 40;
    m.RevState[0] = kRevRequested;
    const auto reporting = [](int speed) { return statusFrame({0x0A, 0x09, 0x0B, speed}); };
    statusEvent(m, reporting(40), kFrame);
    EXPECT_EQ(m.TargetSpeed[0], 0);
    commandTick(m, false);
    EXPECT_EQ(statusEvent(m, reporting(0), kFrame).mapRedraws, 0); // not moved; sending 20
    commandTick(m, false);
    for (const int speed : {2, 255})
        EXPECT_FALSE(statusEvent(m, reporting(speed), kFrame).trains[0].resetReverseButton);
    EXPECT_EQ(m.RevState[0], kRevStopping);
    EXPECT_TRUE(statusEvent(m, reporting(1), kFrame).trains[0].resetReverseButton);
    statusEvent(m, reporting(0), kFrame); // a frame before the tick must not start the train
    const Bytes reversal = commandTick(m, false).bytes;
    EXPECT_EQ(reversal[5], 0); // register 4 of train X
    EXPECT_EQ(Bytes(reversal.begin() + 14, reversal.end()),
              (Bytes{0x00, 0x29, 0x01, 0x2A, 0x02, 0x28, 0x03, 0x2F}));
    statusEvent(m, statusFrame({0x29, 0x2A, 0x28}), kFrame);
    EXPECT_EQ(m.TargetSpeed[0], 100);
}

// A train reported off the layout while it waits to reverse is not reversed: its reversed
// codes would put it back on the layout. It is reversed once it is reported present again.
TEST(ReversalTest, WaitsWhileTheTrainIsReportedAbsent)
{
    Module1 m = initialised();
    m.RevState[0] = kRevStopping;
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(statusEvent(m, statusFrame({128, 128, 128}), kFrame).trains[0].resetReverseButton);
        EXPECT_EQ(m.RevState[0], kRevStopping);
        EXPECT_EQ(m.TargetSpeed[0], 0);
    }
    EXPECT_TRUE(statusEvent(m, statusFrame({0x0A, 0x09, 0x0B}), kFrame).trains[0].resetReverseButton);
    EXPECT_EQ(m.RevState[0], kRevReady);
}

// Turned round, Y (in 34, tail in 35) would have 16 next, the section beyond its tail; its head
// may sit right on that boundary and enter 16 the moment it is turned. While another train is
// in 16, has it next or after the next, Y waits, standing, and is turned once it is free.
TEST(ReversalTest, WaitsWhileTheNewNextSectionIsTakenOrReserved)
{
    struct Case
    {
        const char *name;
        Record x;
        bool waits;
    };
    const Case cases[] = {
        {"XHasItNext", {0x37, 0x30, 0x36}, true},
        {"XHasItAfterTheNext", {0x30, 0x31, 0x37}, true},
        {"XIsInIt", {0x36, 0x37, 0x35}, true},
        {"XIsElsewhere", {0x12, 0x11, 0x13}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Module1 m = initialised();
        m.RevState[1] = kRevStopping;
        const Record y{0x34, 0x35, 0x33, 0};
        const StatusView v = statusEvent(m, statusFrame(c.x, y), kFrame);
        EXPECT_EQ(v.trains[1].resetReverseButton, !c.waits);
        EXPECT_EQ(m.RevState[1], c.waits ? kRevStopping : kRevReady);
        EXPECT_EQ(m.TargetSpeed[1], 0);
        if (!c.waits)
            continue;
        // X moves on round the loop; Y is turned on the next frame.
        statusEvent(m, statusFrame({0x11, 0x10, 0x12}, y), kFrame);
        EXPECT_EQ(m.RevState[1], kRevReady);
        EXPECT_EQ(m.RevCode2[1], 0x16);
    }
}

// X (in 10, tail in 17) and Y (in 34, tail in 35) both wait, standing, to be turned round; turned,
// each would have section 16 next and either may enter it at once. X is turned; Y waits for
// X's new codes to leave 16, as for codes reported.
TEST(ReversalTest, TwoTrainsAreNotTurnedTowardsOneSectionInOneFrame)
{
    Module1 m = initialised();
    m.RevState[0] = m.RevState[1] = kRevStopping;
    const Record y{0x34, 0x35, 0x33, 0};
    statusEvent(m, statusFrame({0x10, 0x17, 0x11, 0}, y), kFrame);
    EXPECT_EQ(m.RevState[0], kRevReady);
    EXPECT_EQ(m.RevCode2[0], 0x36);
    EXPECT_EQ(m.RevState[1], kRevStopping);
    commandTick(m, false);
    // Reported turned, X still has 36 next: Y goes on waiting until X has moved away.
    statusEvent(m, statusFrame({0x37, 0x30, 0x36, 0}, y), kFrame);
    EXPECT_EQ(m.RevState[1], kRevStopping);
    statusEvent(m, statusFrame({0x36, 0x37, 0x35, 0}, y), kFrame);
    EXPECT_EQ(m.RevState[1], kRevStopping) << "X is in 16 itself";
}

// X's point route from 0x08 is armed and its command sent; the operator then turns X round
// before it reaches the point. The reversal ends the passage: 0x20 goes out in the frame that
// carries the reversed registers, before them, so the controller puts the point back, and X,
// now running away from the point, is no longer limited to caution speed.
TEST(PointReversalTest, TurningRoundEndsAnArmedPointPassage)
{
    Module1 m = initialised();
    m.PointReq[0] = 1;
    statusEvent(m, statusFrame(kApproach), kFrame);
    statusEvent(m, statusFrame(kAtFrom), kFrame);
    ASSERT_EQ(m.PointArmed[0], kTrue);
    const Bytes armed = commandTick(m, false).bytes; // sends 00 with 0x30; speed 20
    EXPECT_EQ(Bytes(armed.end() - 4, armed.end()), (Bytes{0x02, 0x00, 0x07, 0x30}));

    m.RevState[0] = kRevRequested;
    statusEvent(m, statusFrame({0x08, 0x0F, 0x00, 20}), kFrame);
    commandTick(m, false); // speed 0
    const StatusView turned = statusEvent(m, statusFrame({0x08, 0x0F, 0x00, 0}), kFrame);
    EXPECT_TRUE(turned.trains[0].resetReverseButton);
    EXPECT_TRUE(turned.trains[0].resetPointButton);
    EXPECT_EQ(m.PointArmed[0], kFalse);
    EXPECT_EQ(m.PointReq[0], 0);

    const Bytes frame = commandTick(m, false).bytes;
    EXPECT_EQ(frame[1], 12); // base pairs, one command, one reversal
    EXPECT_EQ(Bytes(frame.end() - 12, frame.end()),
              (Bytes{0x02, 0x00, 0x07, 0x20, 0x00, 0x2F, 0x01, 0x28, 0x02, 0x2E, 0x03, 0x2D}));

    const StatusView after = statusEvent(m, statusFrame({0x2F, 0x28, 0x2E, 0}), kFrame);
    EXPECT_EQ(after.trains[0].colour, kCyan);
    EXPECT_EQ(m.TargetSpeed[0], 100);
    EXPECT_EQ(m.TrainCmd[0], 0);
}

// Arming and turning round in one frame: the point command never goes out, only 0x20. A stop
// waiting for the tick is kept.
TEST(PointReversalTest, ARouteArmedAndTurnedInOneFrameSendsOnlyTheEnd)
{
    for (const std::int16_t waiting : {kCmdSetPoint, kCmdStop}) {
        SCOPED_TRACE(waiting);
        Module1 m = initialised();
        m.PointReq[0] = 1;
        m.PointArmed[0] = kTrue;
        m.PosCode0[0] = 0x08;
        m.TrainCmd[0] = waiting;
        m.RevState[0] = kRevStopping;
        statusEvent(m, statusFrame({0x08, 0x0F, 0x00, 0}), kFrame);
        EXPECT_EQ(m.RevState[0], kRevReady);
        EXPECT_EQ(m.PointArmed[0], kFalse);
        EXPECT_EQ(m.TrainCmd[0], waiting == kCmdStop ? kCmdStop : kCmdPointPassed);
    }
}

// A train being stopped to turn round, or whose reversed registers wait for the tick, gets no
// point route when it is reported in a FromCode section: the reversed registers in the same
// frame would overwrite the route's next section while the point stayed thrown. Here X stands
// in 0x2F with a reversal ready when a frame shows an earlier reversal taking effect, X in
// 0x08; or X, braking to turn round, is reported there.
TEST(PointReversalTest, ATrainAboutToTurnRoundGetsNoPointRoute)
{
    {
        Module1 m = initialised();
        m.PointReq[0] = 1;
        m.RevState[0] = kRevStopping;
        statusEvent(m, statusFrame({0x2F, 0x28, 0x2E, 0}), kFrame);
        ASSERT_EQ(m.RevState[0], kRevReady);
        statusEvent(m, statusFrame({0x08, 0x0F, 0x09, 0}), kFrame);
        EXPECT_EQ(m.PointArmed[0], kFalse);
        EXPECT_EQ(m.TrainCmd[0], 0);
        EXPECT_EQ(m.PointReq[0], 1);
        EXPECT_EQ(commandTick(m, false).bytes[1], 10) << "the reversal alone";
    }
    {
        Module1 m = initialised();
        m.PointReq[0] = 1;
        m.RevState[0] = kRevStopping;
        m.OutSpeed[0] = 20;
        statusEvent(m, statusFrame({0x08, 0x0F, 0x09, 30}), kFrame); // braking into 0x08
        EXPECT_EQ(m.PointArmed[0], kFalse);
        EXPECT_EQ(m.TrainCmd[0], 0);
        EXPECT_EQ(m.PointReq[0], 1);
    }

    // Without the earlier reversal: the request waits while X is turned, and X turned round
    // into 0x08 takes the route there.
    Module1 m = initialised();
    m.PointReq[0] = 1;
    m.RevState[0] = kRevStopping;
    statusEvent(m, statusFrame({0x2F, 0x28, 0x2E, 0}), kFrame);
    statusEvent(m, statusFrame({0x2F, 0x28, 0x2E, 0}), kFrame);
    EXPECT_EQ(commandTick(m, false).bytes[1], 10) << "the reversal alone";
    statusEvent(m, statusFrame({0x08, 0x0F, 0x09, 0}), kFrame);
    EXPECT_EQ(m.PointArmed[0], kTrue);
    EXPECT_EQ(m.PosCode2[0], 0x00);
    EXPECT_EQ(m.TrainCmd[0], kCmdSetPoint);
}

} // namespace
} // namespace relm
