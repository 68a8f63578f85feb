#include "link/report_watch.h"

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "link/command_tick.h"
#include "link/register_frames.h"
#include "model/section_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace relm {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr BarFrame kFrame{1575, 1920};

// One train's record as the controller reports it: own, behind and next section, speed.
struct Rec
{
    int own = 128, behind = 128, next = 128, speed = 0;
};

Bytes frame(const std::array<Rec, 3> &r)
{
    Bytes b;
    for (const Rec &t : r) {
        for (const int v : {t.own, t.behind, t.next, 0, 0, t.speed, 0, 0})
            b.push_back(static_cast<std::uint8_t>(v));
    }
    return b;
}

// X at 0A and Y at 12, both forward on routes 1 and 2; Z absent. The watch has seen the
// initialisation frame, and status frames come every 100 ms, command ticks every 200 ms.
class WatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        setStartColours(m);
        fillPointTable(m);
        place(0, 0x0A);
        place(1, 0x12);
        place(2, -1);
        startCycle(m, positionsOf(m));
        tick(); // the initialisation frame
        m.SliderSpeed = {100, 100, 100, 0};
    }

    void place(int t, int own)
    {
        const bool absent = own < 0;
        m.PosCode0[t] = absent ? kAbsentCode : static_cast<std::int16_t>(own);
        m.PosCode1[t] = absent ? kAbsentCode : stepAhead(own, own, -1);
        m.PosCode2[t] = absent ? kAbsentCode : stepAhead(own, own, 1);
        m.PosCode3[t] = absent ? kAbsentCode : stepAhead(own, own, 2);
    }

    // What the controller reports for train t while it stands where the console believes.
    Rec here(int t) const { return {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t]}; }
    std::array<Rec, 3> layout() const { return {here(0), here(1), here(2)}; }

    WatchTickView tick()
    {
        const TickResult r = commandTick(m, false);
        sent = r.bytes;
        return watch.afterTick(m, r.bytes, now);
    }
    StatusView report(const Bytes &b) { return statusEvent(m, watch, b, kFrame, now); }
    StatusView report(const std::array<Rec, 3> &r) { return report(frame(r)); }

    // Runs `length` in 100 ms steps: a report each step, a tick every second step.
    void run(WatchClock length, const std::function<std::array<Rec, 3>()> &reported)
    {
        for (const WatchClock end = now + length; now < end;) {
            now += 100ms;
            report(reported());
            if (now.count() % 200 == 0)
                tick();
        }
    }

    std::uint64_t alarms() const
    {
        const WatchCounts &c = watch.counts();
        std::uint64_t n = c.implausibleFrames + c.holds + c.adoptions + c.silences + c.noProgress;
        for (const std::uint64_t k : c.implausible)
            n += k;
        return n;
    }

    Module1 m;
    ReportWatch watch;
    WatchClock now{0};
    Bytes sent;
};

struct KindCase
{
    const char *name;
    std::function<void(std::array<Rec, 3> &)> damage;
    Implausible kind;
    std::array<bool, 3> held;
};
class ImplausibleKindTest : public WatchTest, public testing::WithParamInterface<KindCase>
{};

// The record is not taken, the train (and any train heading where the report puts it) is held
// at 0, and the operator is told at once.
TEST_P(ImplausibleKindTest, IsNotBelievedAndHoldsTheTrainsItConcerns)
{
    const KindCase &c = GetParam();
    now = 100ms;
    report(layout());
    const Module1 before = m;
    std::array<Rec, 3> bad = layout();
    c.damage(bad);
    now = 200ms;
    const StatusView v = report(bad);

    EXPECT_TRUE(v.decoded);
    EXPECT_EQ(v.windowCaption, std::optional<std::string>(kCaptionImplausible));
    ASSERT_FALSE(v.notices.empty());
    EXPECT_EQ(v.notices[0].rfind(std::string(kRowImplausible) + " (", 0), 0u) << v.notices[0];
    EXPECT_GT(watch.counts().implausible[static_cast<std::size_t>(c.kind)], 0u);
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(watch.held(t), c.held[static_cast<std::size_t>(t)]);
        if (c.held[static_cast<std::size_t>(t)]) {
            EXPECT_EQ(m.TargetSpeed[t], 0);
            EXPECT_EQ(v.trains[t].caption, std::optional<std::string>(kRowImplausible));
            EXPECT_EQ(v.trains[t].colour, std::optional<std::uint32_t>(kStatusHeld));
        } else if (m.PosCode0[t] != kAbsentCode) {
            EXPECT_EQ(m.TargetSpeed[t], 100);
        }
        // Nothing of the damaged report reached the tables.
        EXPECT_EQ(m.PosCode0[t], before.PosCode0[t]);
        EXPECT_EQ(m.PosCode1[t], before.PosCode1[t]);
        EXPECT_EQ(m.PosCode2[t], before.PosCode2[t]);
        EXPECT_EQ(m.PosCode3[t], before.PosCode3[t]);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ImplausibleKindTest,
    testing::Values(
        KindCase{"SkippedASection", [](auto &r) { r[0] = {0x0C, 0x0B, 0x0D}; },
                 Implausible::AnotherSection, {true, false, false}},
        KindCase{"UnusedBitSet", [](auto &r) { r[0].own |= 0x40; }, Implausible::AnotherSection,
                 {true, false, false}},
        KindCase{"TurnedRoundUnasked", [](auto &r) { r[0].own ^= kReverseFlag; },
                 Implausible::AnotherSection, {true, false, false}},
        KindCase{"NextSectionNeverSent", [](auto &r) { r[1].next = 0x15; },
                 Implausible::AnotherSection, {false, true, false}},
        KindCase{"AppearedAwayFromEveryone", [](auto &r) { r[2] = {0x1A, 0x19, 0x1B}; },
                 Implausible::Appeared, {false, false, true}},
        KindCase{"AppearedWhereYIsHeading", [](auto &r) { r[2] = {0x14, 0x15, 0x16}; },
                 Implausible::Appeared, {false, true, true}},
        KindCase{"Vanished", [](auto &r) { r[0] = {0x80, 0x80, 0x80}; }, Implausible::Vanished,
                 {true, false, false}},
        KindCase{"TwoTrainsInOneSection", [](auto &r) { r[1] = {0x2A, 0x2B, 0x29}; },
                 Implausible::Shared, {true, true, false}}),
    [](const testing::TestParamInfo<KindCase> &p) { return std::string(p.param.name); });

// A controller that sends its status frames without the unused last byte (23 bytes) is learnt
// after three such blocks in a row; a 23-byte block now and then among 24-byte frames (a lost
// byte) never is, and stays undecoded.
TEST_F(WatchTest, ControllersSendingTwentyThreeByteFramesAreLearntLostBytesAreNot)
{
    const Bytes whole = frame(layout());
    const Bytes cut(whole.begin(), whole.begin() + 23);
    for (const Bytes *b : {&whole, &cut, &whole, &cut, &cut, &whole, &cut}) {
        now += 100ms;
        EXPECT_EQ(report(*b).decoded, b == &whole);
    }
    std::vector<bool> decoded;
    for (int i = 0; i < 4; ++i) {
        now += 100ms;
        decoded.push_back(report(cut).decoded);
    }
    EXPECT_EQ(decoded, (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(m.PosCode0[0], 0x0A);

    // From now on frames are 23 bytes: two of them are decoded, a 24-byte block is cut.
    Bytes two = cut;
    two.insert(two.end(), cut.begin(), cut.end());
    now += 100ms;
    EXPECT_TRUE(report(two).decoded);
    now += 100ms;
    const StatusView v = report(whole);
    EXPECT_FALSE(v.decoded);
    ASSERT_FALSE(v.notices.empty());
    EXPECT_NE(v.notices.back().find("24 バイト (23 バイトの倍数でない)"), std::string::npos)
        << v.notices.back();
}

TEST_F(WatchTest, APlausibleRecordInTheSameFrameIsStillTaken)
{
    now = 100ms;
    std::array<Rec, 3> r = layout();
    r[0].own = 0x3F;                // X: nonsense
    r[1] = {0x13, 0x12, 0x14, 40};  // Y: entered its next section
    const StatusView v = report(r);
    EXPECT_TRUE(watch.held(0));
    EXPECT_FALSE(watch.held(1));
    EXPECT_EQ(m.PosCode0[1], 0x13);
    EXPECT_EQ(v.mapRedraws, 1);
    EXPECT_FALSE(v.trains[0].barHeight.has_value()) << "nothing of X's record is shown";
    EXPECT_EQ(v.trains[1].caption, std::optional<std::string>("12 13 14 15"));
}

using CutBlockTest = testing::TestWithParam<std::size_t>;

// A lost byte shifts every later record; a repeat joined to a cut frame is no frame either.
TEST_P(CutBlockTest, OnlyWholeFramesAreDecoded)
{
    Module1 m;
    m.InitSent = kTrue;
    m.PosCode0 = m.PosCode1 = m.PosCode2 = m.PosCode3 = {128, 128, 128, 128};
    ReportWatch watch;
    Bytes block = frame({Rec{}, Rec{}, Rec{}}); // as the tables stand: nothing placed
    while (block.size() < GetParam())
        block.insert(block.end(), block.begin(), block.begin() + 24);
    block.resize(GetParam());
    const StatusView v = statusEvent(m, watch, block, kFrame, WatchClock{0});
    const bool whole = GetParam() % 24 == 0;
    EXPECT_EQ(v.decoded, whole);
    EXPECT_EQ(watch.counts().implausible[static_cast<std::size_t>(Implausible::CutBlock)],
              whole ? 0u : 1u);
    EXPECT_EQ(v.notices.size(), whole ? 0u : 1u);
    EXPECT_FALSE(watch.held(0)) << "a cut block tells nothing; it holds nobody";
    EXPECT_FALSE(v.label1Text.empty());
}

INSTANTIATE_TEST_SUITE_P(Blocks, CutBlockTest, testing::Values(1, 11, 23, 25, 47, 48));

TEST_F(WatchTest, AHeldTrainRunsAgainOnlyAfterPlausibleReportsForTheConfirmationTime)
{
    std::array<Rec, 3> bad = layout();
    bad[0].own = 0x2F;
    now = 100ms;
    report(bad);
    // Plausible from 200 ms; a second bad report at 400 ms starts the confirmation afresh at
    // 500 ms, so it ends at 800 ms.
    for (const int ms : {200, 300, 400, 500, 600, 700}) {
        now = WatchClock{ms};
        const StatusView v = report(ms == 400 ? bad : layout());
        EXPECT_TRUE(watch.held(0)) << ms << " ms";
        EXPECT_EQ(m.TargetSpeed[0], 0);
        EXPECT_FALSE(v.windowCaption.has_value()) << "the caption is only given on a change";
    }
    now = 800ms;
    const StatusView v = report(layout());
    EXPECT_FALSE(watch.held(0));
    EXPECT_EQ(m.TargetSpeed[0], 100);
    EXPECT_EQ(v.windowCaption, std::optional<std::string>(kCaptionNormal));
    EXPECT_EQ(v.trains[0].caption, std::optional<std::string>("9 A B C"));
    EXPECT_EQ(v.trains[0].colour, std::optional<std::uint32_t>(kStatusLightCyan));
    EXPECT_EQ(v.notices, std::vector<std::string>{std::string(kRowImplausible) + " 解除: X"});
    EXPECT_EQ(watch.counts().holds, 1u);
}

// Y is reported in section 00, where X's point at 08 leads: the report may be true, so the
// route is refused until Y is reported where it was again.
TEST_F(WatchTest, NoPointRouteIsSetIntoASectionADoubtedReportNames)
{
    place(0, 0x0F);
    place(1, 0x1A);
    startCycle(m, positionsOf(m));
    tick();
    pointPressed(m, 0);
    now = 100ms;
    report(std::array<Rec, 3>{Rec{0x08, 0x0F, 0x09, 30}, Rec{0x00, 0x19, 0x1B}, here(2)});
    EXPECT_EQ(m.PointArmed[0], kFalse);
    EXPECT_EQ(m.PointBlocked[0], kTrue);
    EXPECT_EQ(m.TrainCmd[0], kCmdNone);
    now = 200ms;
    report(std::array<Rec, 3>{Rec{0x08, 0x0F, 0x09, 30}, here(1), here(2)});
    EXPECT_EQ(m.PointArmed[0], kTrue);
    EXPECT_EQ(m.TrainCmd[0], kCmdSetPoint);
    EXPECT_EQ(m.PosCode2[0], 0x00);
}

// The frame that stopped a held train may have been lost with its reports: a reversal waits for
// plausible reports again before it takes the reported standstill.
TEST_F(WatchTest, AHeldTrainIsNotTurnedRoundBeforeItRunsAgain)
{
    m.SliderSpeed[0] = 0;
    reversePressed(m, 0);
    std::array<Rec, 3> bad = layout();
    bad[0].own |= 0x40;
    now = 100ms;
    report(bad);
    for (const int ms : {200, 300, 400, 500}) {
        now = WatchClock{ms};
        report(layout());
        EXPECT_EQ(m.RevState[0], kRevStopping) << ms << " ms";
    }
    EXPECT_FALSE(watch.held(0));
    now = 600ms;
    report(layout());
    EXPECT_EQ(m.RevState[0], kRevReady);
}

// A damaged initialisation frame placed X elsewhere: the controller says so in every report,
// and after the adoption time the console believes it.
TEST_F(WatchTest, APossiblePlaceReportedUnchangedForTheAdoptionTimeIsTakenOver)
{
    std::array<Rec, 3> placed = layout();
    placed[0] = {0x1C, 0x1B, 0x1D};
    for (int ms = 100; ms < 1100; ms += 100) {
        now = WatchClock{ms};
        report(placed);
        EXPECT_EQ(m.PosCode0[0], 0x0A) << ms << " ms";
    }
    now = 1100ms;
    const StatusView v = report(placed);
    EXPECT_EQ(m.PosCode0[0], 0x1C);
    EXPECT_EQ(m.PosCode3[0], 0x1E);
    EXPECT_EQ(watch.counts().adoptions, 1u);
    EXPECT_EQ(v.notices.back(), std::string(kRowImplausible) + ": X の報告 1B 1C 1D を採用");
    EXPECT_TRUE(watch.held(0));
    run(300ms, [&] { return placed; });
    EXPECT_TRUE(watch.held(0));
    run(100ms, [&] { return placed; });
    EXPECT_FALSE(watch.held(0));
}

// Taking a report over needs the same implausible place for the whole adoption time: another
// place restarts the clock, and so does a plausible report in between.
TEST_F(WatchTest, OnlyOnePlaceReportedWithoutABreakForTheAdoptionTimeIsTakenOver)
{
    const Rec there{0x1C, 0x1B, 0x1D};
    const Rec elsewhere{0x3C, 0x3D, 0x3B};
    const auto with = [&](const Rec &x) {
        std::array<Rec, 3> r = layout();
        r[0] = x;
        return r;
    };
    run(600ms, [&] { return with(there); });
    run(900ms, [&] { return with(elsewhere); });
    EXPECT_EQ(watch.counts().adoptions, 0u) << "1.5 s of doubt, but never 1 s of one place";
    run(200ms, [&] { return with(elsewhere); });
    EXPECT_EQ(watch.counts().adoptions, 1u);
    EXPECT_EQ(m.PosCode0[0], 0x3C);

    // Y: 600 ms elsewhere, one plausible report, 900 ms elsewhere again.
    const auto yWith = [&](const Rec &y) {
        std::array<Rec, 3> r = layout();
        r[1] = y;
        return r;
    };
    const Rec yThere{0x04, 0x03, 0x05};
    run(600ms, [&] { return yWith(yThere); });
    run(100ms, [&] { return layout(); });
    run(900ms, [&] { return yWith(yThere); });
    EXPECT_EQ(watch.counts().adoptions, 1u) << "the plausible report restarted the clock";
    EXPECT_EQ(m.PosCode0[1], 0x12);
    run(200ms, [&] { return yWith(yThere); });
    EXPECT_EQ(watch.counts().adoptions, 2u);
    EXPECT_EQ(m.PosCode0[1], 0x04);
}

// Into the next section the new next section must be the section after the next the console
// sent; a report that shows the move with any other next section is doubted.
struct MoveCase
{
    const char *name;
    int reportedNext;
    bool believed;
};
class MoveIntoNextTest : public WatchTest, public testing::WithParamInterface<MoveCase>
{};

TEST_P(MoveIntoNextTest, IsBelievedOnlyWithTheSectionAfterTheNextAsItsNewNext)
{
    const MoveCase &c = GetParam();
    now = 100ms;
    report(layout());
    tick(); // sends X's section after the next, 0C
    // The console's table has moved on since (a report in flight still shows what was sent).
    if (std::string(c.name) == "AfterTheNextAsSentBefore")
        m.PosCode3[0] = 0x0D;
    now = 200ms;
    std::array<Rec, 3> r = layout();
    r[0] = {0x0B, 0x0A, c.reportedNext, 40};
    report(r);
    EXPECT_EQ(watch.held(0), !c.believed);
    EXPECT_EQ(m.PosCode0[0], c.believed ? 0x0B : 0x0A);
    EXPECT_EQ(watch.counts().implausibleFrames, c.believed ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, MoveIntoNextTest,
    testing::Values(MoveCase{"AfterTheNext", 0x0C, true},
                    MoveCase{"AfterTheNextAsSentBefore", 0x0C, true},
                    MoveCase{"TwoAhead", 0x0D, false}, MoveCase{"BackWhereItCameFrom", 0x0A, false},
                    MoveCase{"AnotherRoute", 0x1C, false}, MoveCase{"Absent", 0x80, false}),
    [](const testing::TestParamInfo<MoveCase> &p) { return std::string(p.param.name); });

// Reports of X between the operator's reversal and the next tick, while the console sends X
// speed 0. From soak traces: a damaged frame turned X's speed 00 into 40 (X reported 0 when its
// reversal was computed, and ran in the next report), or left X's speed register at 01 (X
// creeps at 1, under the standstill speed, without slowing down). The reversal went out with
// the tick and reached X moving. A believed report of the train running or creeping withdraws
// the ready reversal, which goes out once the train stands again; a train slowing down keeps it.
struct ReadyCase
{
    const char *name;
    std::vector<int> speeds; // reported after the operator's reversal, 100 ms apart
    bool withdrawn;
};
class ReadyReversalTest : public WatchTest, public testing::WithParamInterface<ReadyCase>
{
protected:
    bool reversedX() const
    {
        const std::vector<RegisterWrite> pairs = registerWrites(sent);
        return std::any_of(pairs.begin(), pairs.end(), [](const RegisterWrite &p) {
            return p.train == 0 && p.offset == kRegPosition0;
        });
    }
    void reportX(int speed)
    {
        std::array<Rec, 3> r = layout();
        r[0].speed = speed;
        report(r);
    }
};

TEST_P(ReadyReversalTest, WaitsWhileABelievedReportShowsTheTrainMoving)
{
    const ReadyCase &c = GetParam();
    m.SliderSpeed[0] = 0;
    run(400ms, [&] { return layout(); });
    reversePressed(m, 0);
    // The reports come between two ticks.
    now = 410ms;
    StatusView last;
    for (const int speed : c.speeds) {
        now += 40ms;
        std::array<Rec, 3> r = layout();
        r[0].speed = speed;
        last = report(r);
    }
    EXPECT_EQ(m.RevState[0], c.withdrawn ? kRevStopping : kRevReady);
    EXPECT_EQ(watch.counts().reversalsWithdrawn, c.withdrawn ? 1u : 0u);
    if (c.withdrawn) {
        ASSERT_FALSE(last.notices.empty());
        EXPECT_EQ(last.notices.back(), "逆転保留: X 速度 " + std::to_string(c.speeds.back()) +
                                           " で走行中の報告; 停止を待って逆転");
    }
    now = 600ms;
    tick();
    EXPECT_EQ(reversedX(), !c.withdrawn);
    EXPECT_EQ(registerWrites(sent)[1].value, 0) << "X's speed register";
    if (!c.withdrawn)
        return;
    // X stands again: the reversal goes out with the next tick.
    now = 700ms;
    reportX(0);
    EXPECT_EQ(m.RevState[0], kRevReady);
    now = 800ms;
    tick();
    EXPECT_TRUE(reversedX());
}

INSTANTIATE_TEST_SUITE_P(
    Reports, ReadyReversalTest,
    testing::Values(ReadyCase{"StartedByADamagedFrame", {0, 5}, true},
                    ReadyCase{"CreepingAtOne", {7, 1, 1}, true},
                    ReadyCase{"StoodThenCreeps", {0, 1}, true},
                    ReadyCase{"SlowsDown", {7, 1, 0}, false},
                    ReadyCase{"Stands", {0, 0, 0}, false}),
    [](const testing::TestParamInfo<ReadyCase> &p) { return std::string(p.param.name); });

// From a soak trace: a damaged frame turned standing X's speed 00 into 01, and X crept at 1,
// under the standstill speed, when the operator asked for its reversal. A train reported at 1
// again is not standing; once the console's next frame has stopped it, the reversal goes out.
TEST_F(WatchTest, ATrainCreepingAtOneIsNotTakenAsStanding)
{
    m.SliderSpeed[0] = 0;
    run(400ms, [&] { return layout(); });
    std::array<Rec, 3> r = layout();
    r[0].speed = 1;
    now = 450ms;
    report(r);
    reversePressed(m, 0);
    now = 550ms;
    report(r);
    EXPECT_EQ(m.RevState[0], kRevStopping);
    now = 600ms;
    tick();
    const std::vector<RegisterWrite> pairs = registerWrites(sent);
    EXPECT_TRUE(std::none_of(pairs.begin(), pairs.end(),
                             [](const RegisterWrite &p) { return p.offset == kRegPosition0; }));
    now = 700ms;
    report(layout());
    EXPECT_EQ(m.RevState[0], kRevReady);
}

// Positions reported unchanged for three seconds are taken over only where a train can be: a
// damaged command frame that wrote register 0 alone leaves own elsewhere and behind and next
// where they were, and no train is there in any way the controller could run it.
struct PlaceCase
{
    const char *name;
    Rec reported;
    bool takenOver;
};
class PossiblePlaceTest : public WatchTest, public testing::WithParamInterface<PlaceCase>
{};

TEST_P(PossiblePlaceTest, OnlyAPlaceATrainCanBeIsTakenOver)
{
    const PlaceCase &c = GetParam();
    std::array<Rec, 3> r = layout();
    r[0] = c.reported;
    run(3000ms, [&] { return r; });
    EXPECT_EQ(watch.counts().adoptions, c.takenOver ? 1u : 0u);
    EXPECT_EQ(watch.held(0), !c.takenOver);
    EXPECT_EQ(m.PosCode0[0], c.takenOver ? c.reported.own : 0x0A);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, PossiblePlaceTest,
    testing::Values(PlaceCase{"OwnElsewhere", {0x1C, 0x09, 0x0B}, false},
                    PlaceCase{"NextNotAhead", {0x0A, 0x09, 0x0D}, false},
                    PlaceCase{"BehindTheOtherWay", {0x0A, 0x29, 0x0B}, false},
                    PlaceCase{"UnusedBitInNext", {0x0A, 0x09, 0x4B}, false},
                    PlaceCase{"AbsentWithASectionBehind", {0x80, 0x09, 0x80}, false},
                    PlaceCase{"Absent", {0x80, 0x80, 0x80}, true},
                    PlaceCase{"ReverseOnRoute3", {0x3C, 0x3D, 0x3B}, true},
                    PlaceCase{"PastThePoint", {0x00, 0x08, 0x01}, true},
                    PlaceCase{"BeforeTheSetPoint", {0x29, 0x2A, 0x20}, true}),
    [](const testing::TestParamInfo<PlaceCase> &p) { return std::string(p.param.name); });

// A damaged command frame misplaced X at the controller where no train can be (04 5E arrived
// as 00 5E: register 0 alone written), or into Y's section. Once the same report has come for
// the adoption time and X stands, X's registers 0 to 3 go out again as the console believes
// them, as a reversal writes them; the controller's reports agree again, and X runs again after
// the confirmation time. No reversal of X comes of it.
struct PutBackCase
{
    const char *name;
    Rec reportedX;
    std::array<bool, 3> putBack;
};
class PutBackTest : public WatchTest, public testing::WithParamInterface<PutBackCase>
{};

TEST_P(PutBackTest, ATrainTheControllerMisplacedIsPutBackOnceItStands)
{
    const PutBackCase &c = GetParam();
    const auto misplaced = [&] {
        std::array<Rec, 3> r = layout();
        r[0] = c.reportedX;
        return r;
    };
    run(1000ms, misplaced);
    EXPECT_EQ(watch.counts().putBack, 0u);
    now = 1100ms;
    const StatusView v = report(misplaced());
    EXPECT_EQ(watch.counts().putBack, 2u - (c.putBack[1] ? 0u : 1u));
    EXPECT_EQ(m.RevState[0], kRevReady);
    EXPECT_EQ(v.notices.back().rfind(std::string(kRowImplausible) + ": ", 0), 0u);
    EXPECT_NE(v.notices[v.notices.size() - (c.putBack[1] ? 2 : 1)].find(
                  "X を確認済み 09 0A 0B に戻す"),
              std::string::npos);
    now = 1200ms;
    tick();
    std::vector<RegisterWrite> positions;
    for (const RegisterWrite &p : registerWrites(sent)) {
        if (p.offset <= kRegPosition3)
            positions.push_back(p);
    }
    std::vector<std::array<int, 3>> got;
    for (const RegisterWrite &p : positions)
        got.push_back({p.train, p.offset, p.value});
    std::vector<std::array<int, 3>> expected{{0, 3, 0x0C}, {1, 3, 0x14}, {2, 3, 0x80}};
    const std::vector<std::array<int, 3>> x{{0, 0, 0x0A}, {0, 1, 0x09}, {0, 2, 0x0B}, {0, 3, 0x0C}};
    const std::vector<std::array<int, 3>> y{{1, 0, 0x12}, {1, 1, 0x11}, {1, 2, 0x13}, {1, 3, 0x14}};
    expected.insert(expected.end(), x.begin(), x.end());
    if (c.putBack[1])
        expected.insert(expected.end(), y.begin(), y.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(m.RevState[0], kRevIdle);

    run(400ms, [&] { return layout(); });
    EXPECT_FALSE(watch.held(0));
    EXPECT_FALSE(watch.held(1));
    EXPECT_EQ(m.PosCode0[0], 0x0A);
    EXPECT_EQ(m.RevState[0], kRevIdle);
    run(1000ms, [&] { return layout(); });
    const std::vector<RegisterWrite> later = registerWrites(sent);
    EXPECT_TRUE(std::none_of(later.begin(), later.end(),
                             [](const RegisterWrite &p) { return p.offset == kRegPosition0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Reports, PutBackTest,
    testing::Values(PutBackCase{"OwnRegisterAlone", {0x5E, 0x09, 0x0B}, {true, false, false}},
                    PutBackCase{"IntoYsSection", {0x12, 0x11, 0x13}, {true, true, false}}),
    [](const testing::TestParamInfo<PutBackCase> &p) { return std::string(p.param.name); });

// A misplaced train that does not stand is not put back, and a put-back that meets a report of
// the train running before the tick is dropped, never taken for the operator's reversal.
TEST_F(WatchTest, AMisplacedTrainIsPutBackOnlyWhileItStands)
{
    std::array<Rec, 3> r = layout();
    r[0] = {0x5E, 0x09, 0x0B, 5};
    run(2500ms, [&] { return r; });
    EXPECT_EQ(watch.counts().putBack, 0u);
    EXPECT_EQ(m.RevState[0], kRevIdle);

    r[0].speed = 0;
    for (int k = 0; k < 12 && m.RevState[0] != kRevReady; ++k) {
        now += 100ms; // reports only: the put-back waits for the next tick
        report(r);
    }
    ASSERT_EQ(m.RevState[0], kRevReady);
    r[0].speed = 3;
    now += 50ms;
    report(r);
    EXPECT_EQ(m.RevState[0], kRevIdle);
    EXPECT_EQ(watch.counts().reversalsWithdrawn, 0u);
    run(200ms, [&] { return r; });
    const std::vector<RegisterWrite> pairs = registerWrites(sent);
    EXPECT_TRUE(std::none_of(pairs.begin(), pairs.end(),
                             [](const RegisterWrite &p) { return p.offset == kRegPosition0; }));
}

TEST_F(WatchTest, TwoTrainsReportedInOneSectionAreNeverTakenOver)
{
    std::array<Rec, 3> r = layout();
    r[1] = {0x0B, 0x0A, 0x0C};
    run(3000ms, [&] { return r; });
    EXPECT_EQ(watch.counts().adoptions, 0u);
    EXPECT_TRUE(watch.held(0));
    EXPECT_TRUE(watch.held(1));
    EXPECT_EQ(m.PosCode0[1], 0x12);
}

// What the console itself sets going: moves round the loop, a point passage, a reversal, Reset
// and Transfer. None of it may raise an alarm.
TEST_F(WatchTest, NoAlarmWhileATrainRunsRoundTheLoopTakesAPointAndReverses)
{
    // X runs on from 0A, wraps from 0F to 08 and asks there for the point 08 -> 00 -> 01.
    pointPressed(m, 0);
    for (int k = 0; k < 6; ++k) {
        run(400ms, [&] { return layout(); });
        now += 100ms;
        report(std::array<Rec, 3>{Rec{m.PosCode2[0], m.PosCode0[0], m.PosCode3[0], 60}, here(1),
                                  here(2)});
    }
    ASSERT_EQ(m.PosCode0[0], 0x08);
    ASSERT_EQ(m.PointArmed[0], kTrue);
    ASSERT_EQ(m.PosCode2[0], 0x00);
    // Until the tick, and once more in flight after it, the controller reports its plain next.
    const Rec standing{0x08, 0x0F, 0x09, 48};
    now += 100ms;
    report(std::array<Rec, 3>{standing, here(1), here(2)});
    now += 100ms;
    tick();
    report(std::array<Rec, 3>{standing, here(1), here(2)});
    now += 100ms;
    report(std::array<Rec, 3>{Rec{0x08, 0x0F, 0x00, 48}, here(1), here(2)});
    now += 100ms;
    tick();
    report(std::array<Rec, 3>{Rec{0x00, 0x08, 0x01, 48}, here(1), here(2)});
    now += 100ms;
    report(std::array<Rec, 3>{Rec{0x01, 0x00, 0x02, 48}, here(1), here(2)});
    EXPECT_EQ(m.PointReq[0], 0) << "the passage has finished";

    // X stops and reverses where it stands; reports in flight still show it the old way round.
    reversePressed(m, 0);
    m.SliderSpeed[0] = 0;
    for (int k = 0; k < 30 && m.RevState[0] != kRevIdle; ++k)
        run(100ms, [&] { return layout(); });
    ASSERT_EQ(m.RevState[0], kRevIdle) << "the reversal went out";
    now += 100ms;
    report(layout());
    now += 100ms;
    report(std::array<Rec, 3>{Rec{m.RevCode0[0], m.RevCode1[0], m.RevCode2[0]}, here(1),
                              here(2)});
    EXPECT_EQ(m.PosCode0[0], 0x20);
    run(1000ms, [&] { return layout(); });

    EXPECT_EQ(alarms(), 0u);
    EXPECT_FALSE(watch.held(0));
}

// X stopped just after entering 0A: turned round, its head is at the far end of 09 and the
// next report may already show it in 08.
TEST_F(WatchTest, NoAlarmWhenATurnedTrainCrossesIntoItsNewNextSectionAtOnce)
{
    m.SliderSpeed[0] = 0;
    reversePressed(m, 0);
    for (int k = 0; k < 30 && m.RevState[0] != kRevIdle; ++k)
        run(100ms, [&] { return layout(); });
    ASSERT_EQ(m.RevState[0], kRevIdle);
    ASSERT_EQ(m.RevCode0[0], 0x29);
    now += 100ms;
    report(std::array<Rec, 3>{Rec{0x28, 0x29, 0x2F}, here(1), here(2)});
    EXPECT_EQ(alarms(), 0u);
    EXPECT_EQ(m.PosCode0[0], 0x28);
    EXPECT_EQ(m.PosCode3[0], 0x2E);
}

TEST_F(WatchTest, NoAlarmAcrossResetAndTransferToNewPositions)
{
    run(600ms, [&] { return layout(); });
    resetPressed(m);
    tick(); // the stopping frame: the cycle stops, the controller halts and reports no more
    now += 5000ms;
    // Transfer: new positions from atc.ini, the initialisation frame a second later.
    place(0, 0x3C);
    place(1, -1);
    place(2, 0x05);
    startCycle(m, positionsOf(m));
    now += 1000ms;
    tick();
    run(2000ms, [&] { return layout(); });
    EXPECT_EQ(alarms(), 0u);
    EXPECT_EQ(m.PosCode0[2], 0x05);
}

// No report for the silence limit holds every train from the next tick on; reports that resume
// release them after the confirmation time.
TEST_F(WatchTest, SilenceHoldsEveryTrainUntilReportsResume)
{
    run(1000ms, [&] { return layout(); });
    // 100 ms reports: the limit is 500 ms. Ticks at 1200 and 1400 find 200 and 400 ms of quiet.
    WatchTickView v;
    for (int k = 0; k < 2; ++k) {
        now += 200ms;
        v = tick();
        EXPECT_FALSE(watch.held(0));
    }
    now += 200ms;
    v = tick();
    EXPECT_EQ(v.windowCaption, std::optional<std::string>(kCaptionSilent));
    EXPECT_EQ(v.trains[0].caption, std::optional<std::string>(kRowSilent));
    EXPECT_EQ(v.trains[1].colour, std::optional<std::uint32_t>(kStatusHeld));
    EXPECT_FALSE(v.trains[2].caption.has_value()) << "Z is not on the layout";
    EXPECT_EQ(m.TargetSpeed[0], 0);
    EXPECT_EQ(m.TargetSpeed[1], 0);
    EXPECT_EQ(watch.counts().silences, 1u);

    now += 100ms;
    const StatusView back = report(layout());
    EXPECT_EQ(back.notices.front(), std::string(kRowSilent) + " 解除");
    EXPECT_TRUE(watch.held(0));
    run(400ms, [&] { return layout(); });
    EXPECT_FALSE(watch.held(0));
    EXPECT_FALSE(watch.held(1));
}

TEST_F(WatchTest, TheSilenceLimitFollowsASlowController)
{
    // Reports every 300 ms: three intervals make 900 ms, so 800 ms of quiet is no silence.
    for (int k = 0; k < 5; ++k) {
        now += 300ms;
        report(layout());
    }
    for (int k = 0; k < 4; ++k) {
        now += 200ms;
        tick();
    }
    EXPECT_EQ(watch.counts().silences, 0u);
    now += 200ms;
    tick();
    EXPECT_EQ(watch.counts().silences, 1u);
}

// The limit is three times the shortest interval seen between any two reports: a controller
// that reports faster later lowers it, and one slower interval later does not raise it.
TEST_F(WatchTest, TheSilenceLimitFollowsTheShortestIntervalSeenBetweenAnyTwoReports)
{
    const auto quietUntilSilence = [&] {
        for (int k = 1; k <= 10; ++k) {
            now += 100ms;
            tick();
            if (watch.counts().silences > 0)
                return k * 100;
        }
        return 0;
    };
    // 400 ms first, then 200 ms between reports: the limit is 600 ms.
    for (const int gap : {400, 200, 200, 200}) {
        now += WatchClock{gap};
        report(layout());
    }
    EXPECT_EQ(quietUntilSilence(), 600);

    now += 100ms;
    report(layout());
    // Once 200 ms has been seen, a later 500 ms interval leaves the limit at 600 ms.
    for (const int gap : {200, 500}) {
        now += WatchClock{gap};
        report(layout());
    }
    const std::uint64_t before = watch.counts().silences;
    for (int k = 0; k < 6; ++k) {
        now += 100ms;
        tick();
    }
    EXPECT_EQ(watch.counts().silences, before + 1);
}

// X is sent full speed and never leaves 0A: two 1000 mm sections at 250 mm/s are 8 s, plus the
// ramp from 0. Stopped trains are never reported, and one move clears the report.
TEST_F(WatchTest, ATrainSentSpeedThatNeverLeavesItsSectionIsReportedAsStuck)
{
    m.SliderSpeed = {128, 0, 0, 0};
    run(8000ms, [&] { return layout(); });
    EXPECT_FALSE(watch.noProgress(0));
    run(1000ms, [&] { return layout(); });
    ASSERT_TRUE(watch.noProgress(0));
    EXPECT_FALSE(watch.noProgress(1)) << "Y was never sent a speed";
    EXPECT_FALSE(watch.held(0)) << "only reported";
    EXPECT_EQ(m.TargetSpeed[0], 128);

    now += 100ms;
    StatusView v = report(layout());
    EXPECT_EQ(v.trains[0].caption, std::optional<std::string>(kRowNoProgress));
    std::array<Rec, 3> r = layout();
    r[0] = {0x0B, 0x0A, 0x0C, 100};
    now += 100ms;
    v = report(r);
    EXPECT_FALSE(watch.noProgress(0));
    EXPECT_EQ(v.windowCaption, std::optional<std::string>(kCaptionNormal));
    EXPECT_EQ(v.notices, std::vector<std::string>{std::string(kRowNoProgress) + " 解除: X"});
    EXPECT_EQ(watch.counts().noProgress, 1u);
}

} // namespace
} // namespace relm
