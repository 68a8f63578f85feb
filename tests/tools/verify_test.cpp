// The exhaustive check: how states are stored and merged, the controller the model stands for,
// the search, and the traces it writes.

#include "explorer.h"
#include "start_placements.h"
#include "verify_state.h"
#include "verify_step.h"
#include "verify_trace.h"

#include "sim/replay_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace relm::verify {
namespace {

const ModelShape kShape{};

// atc.ini values: route, section, reverse per train; a train without a route is off the layout.
IniValueArray placement(std::vector<std::array<int, 3>> trains)
{
    IniValueArray v{};
    for (std::size_t t = 0; t < trains.size(); ++t) {
        for (std::size_t k = 0; k < 3; ++k)
            v[4 * t + k] = trains[t][k];
        v[4 * t + 3] = 1;
    }
    return v;
}

Step period(std::array<Move, kTrainCount> move = {}, std::array<bool, kTrainCount> exact = {})
{
    Step s;
    s.move = move;
    s.landExactly = exact;
    return s;
}

Step slider(int t, int level)
{
    return {.kind = StepKind::Slider, .train = t, .level = level};
}

// Every field a step can change, as one comparable text.
std::string fields(const World &w)
{
    std::ostringstream out;
    out << describe(w, kShape);
    const Module1 &m = w.console;
    for (int t = 0; t < kTrainCount; ++t)
        out << w.trains[t].held << int(w.trains[t].thrown) << m.PointReq[t] << m.PointArmed[t]
            << m.PointBlocked[t] << m.RevState[t] << ' ';
    out << w.pointThrown[0] << w.pointThrown[1] << int(w.phase) << w.stopPending << w.halted;
    return out.str();
}

// Packing must keep everything a later step reads: walk some thousands of states on the
// joined routes, where points, holds and reversals all happen, and unpack every one.
TEST(VerifyStateTest, EveryStateReachedUnpacksAsItWas)
{
    std::vector<World> frontier;
    for (const IniValueArray &v : startPlacements(2, {0, 1}))
        frontier.push_back(startWorld(v, kShape));
    frontier.resize(40);
    std::set<std::string> kinds;
    for (int depth = 0; depth < 5; ++depth) {
        std::vector<World> next;
        for (const World &w : frontier) {
            for (const Step &s : stepsFrom(w, kShape)) {
                World n = apply(w, s, kShape).next;
                const World back = unpack(pack(n));
                ASSERT_EQ(fields(back), fields(n)) << describe(s);
                ASSERT_EQ(pack(back), pack(n));
                kinds.insert(describe(s).substr(0, 12));
                if (next.size() < 4000)
                    next.push_back(std::move(n));
            }
        }
        frontier = std::move(next);
    }
    EXPECT_GE(kinds.size(), 4u); // operator steps of several kinds and periods were packed
}

// On a loop without a point the same state turned round the loop or mirrored is one state; on
// the routes the crossovers join it is not.
TEST(VerifyStateTest, MirrorImagesMergeOnlyOnALoopWithoutPoints)
{
    const auto canon = [](IniValueArray v) { return canonical(startWorld(v, kShape)); };
    const PackedState base = canon(placement({{2, 1, 0}, {2, 5, 1}}));
    EXPECT_EQ(canon(placement({{2, 4, 0}, {2, 0, 1}})), base);   // turned by 3 sections
    EXPECT_EQ(canon(placement({{2, 7, 1}, {2, 3, 0}})), base);   // mirrored: i to -i, turned
    EXPECT_EQ(canon(placement({{3, 1, 0}, {3, 5, 1}})), canon(placement({{3, 6, 0}, {3, 2, 1}})));
    EXPECT_NE(canon(placement({{2, 1, 0}, {2, 5, 0}})), base);   // Y facing the other way
    EXPECT_NE(canon(placement({{0, 1, 0}, {0, 5, 1}})), canon(placement({{0, 4, 0}, {0, 0, 1}})));
}

// The controller the model stands for: a head runs to the end of its section and crosses where
// register 2 and the points lead; a wrong register 2 holds it on the boundary until put right;
// a head turned round on the boundary it has just crossed enters the section beyond at once.
TEST(VerifyStepTest, HeadsCrossWhereTheTrackAndRegisterTwoLead)
{
    World w = startWorld(placement({{2, 0, 0}}), kShape);
    w = apply(w, slider(0, 2), kShape).next;
    int crossings = 0;
    for (int p = 0; p < 40 && w.trains[0].reg[0] == 0x10; ++p, ++crossings)
        w = apply(w, period({Move::AfterTick}, {true}), kShape).next;
    EXPECT_EQ(w.trains[0].reg, (std::array<std::uint8_t, 4>{0x11, 0x10, 0x12, 0x13}));
    EXPECT_EQ(w.trains[0].place, 0) << "landed exactly on the boundary";
    // From the middle (step 3 of 6) four steps to cross, each no sooner than every other period.
    EXPECT_GE(crossings, 7);

    // Register 2 naming a section the track does not lead to: held on the far boundary.
    World held = w;
    held.trains[0].reg[2] = 0x15;
    held.trains[0].place = static_cast<std::uint8_t>(kShape.bins);
    held.phase = 0; // a period in which a running head may move
    StepResult r = apply(held, period({Move::BeforeTick}), kShape);
    EXPECT_TRUE(r.next.trains[0].held);
    EXPECT_EQ(r.routeFaults, 1);
    EXPECT_EQ(r.next.trains[0].place, kShape.bins + 1);
    EXPECT_EQ(r.next.trains[0].reg[0], 0x11) << "the tick puts register 2 right only later";

    // Turned round just after crossing: the head is on the far boundary of the section behind
    // and crosses on, standing, before any status frame.
    World turned = w;
    turned.console.SliderSpeed[0] = 0;
    turned.console.OutSpeed[0] = 0;
    turned.trains[0].motion = Motion::Standing;
    turned.console.RevState[0] = kRevStopping;
    r = apply(turned, period(), kShape);
    EXPECT_EQ(r.next.trains[0].reg[0], 0x37) << "turned into 30, then on into 37";
    EXPECT_EQ(r.next.trains[0].place, 0);
    EXPECT_TRUE(r.findings.empty());
}

// Point command 30 throws the point for the train, which then takes the crossover; 20 puts the
// point back. A point command towards a section another train covers is a violation.
TEST(VerifyStepTest, PointCommandsThrowThePointAndAreChecked)
{
    World w = startWorld(placement({{1, 7, 0}, {2, 0, 0}}), kShape);
    w = apply(w, {.kind = StepKind::Point, .train = 0}, kShape).next;
    w = apply(w, slider(0, 2), kShape).next;
    bool thrown = false;
    for (int p = 0; p < 60 && (w.trains[0].reg[0] & 0x18) != 0; ++p) {
        w = apply(w, period({Move::AfterTick}), kShape).next;
        thrown = thrown || w.pointThrown[0];
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(w.trains[0].reg[0], 0x00) << "took crossover A from route 1 into route 0";
    for (int p = 0; p < 60 && w.trains[0].reg[0] == 0x00; ++p)
        w = apply(w, period({Move::AfterTick}), kShape).next;
    EXPECT_EQ(w.trains[0].reg[0], 0x01);
    w = apply(w, period(), kShape).next; // the console sees it at 01 and ends the passage
    EXPECT_FALSE(w.pointThrown[0]);

    // Y placed in route 0 section 0 by hand: the command towards it is caught.
    World occupied = startWorld(placement({{1, 7, 0}, {2, 0, 0}}), kShape);
    occupied.trains[1].reg = {0x00, 0x07, 0x01, 0x02};
    occupied.console.PosCode0[0] = occupied.trains[0].reg[0] = 0x08;
    occupied.console.PosCode1[0] = occupied.trains[0].reg[1] = 0x0F;
    World armed = occupied;
    armed.console.PointReq[0] = 1;
    armed.console.PointArmed[0] = kTrue;
    armed.console.PosCode2[0] = armed.trains[0].reg[2] = 0x00;
    armed.console.PosCode3[0] = 0x01;
    armed.console.TrainCmd[0] = 0x30; // left by the point pass for the next tick
    StepResult r = apply(armed, period(), kShape);
    bool caught = false;
    for (const Finding &f : r.findings)
        caught = caught || f.kind == FindingKind::PointIntoOccupied || f.kind == FindingKind::SharedSection;
    EXPECT_TRUE(caught);
}

// One train alone on a loop: the search ends with every state expanded and nothing violated.
TEST(VerifyExplorerTest, OneTrainOnALoopIsCompleteAndSafe)
{
    VerifyConfig config;
    config.starts = startPlacements(1, {2});
    const VerifyResult r = explore(config);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.violations(), 0u);
    EXPECT_GT(r.states, 1000u);
    EXPECT_GT(r.depth, 5);
    // Bounded, the same search says it is not complete.
    config.maxDepth = 3;
    EXPECT_FALSE(explore(config).complete);
}

// Start placements keep the trains apart and on track that meets.
TEST(VerifyExplorerTest, StartPlacementsAreApartAndShareTrack)
{
    EXPECT_EQ(startPlacements(1, {0, 1, 2, 3}).size(), 64u);
    // On an eight-section loop two trains holding four sections each fill it: 16 places for
    // X, and Y in the other four sections facing either way.
    EXPECT_EQ(startPlacements(2, {2}).size(), 32u);
    for (const IniValueArray &v : startPlacements(2, {0, 1, 2, 3})) {
        ASSERT_EQ(v[0] < 2, v[4] < 2) << describePlacement(v);
        if (v[0] >= 2) {
            ASSERT_EQ(v[0], v[4]) << describePlacement(v);
        }
        ASSERT_EQ(v[11], 0) << "Z off the layout";
    }
}

std::string readText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

IniValueArray iniOfTrace(const std::string &log)
{
    IniValueArray v{};
    std::istringstream in(log.substr(log.find("# atc.ini: ") + 11));
    for (std::int32_t &x : v)
        in >> x;
    return v;
}

// A trace holds what the console itself sends for the reports and operator steps in it, and
// relm-sim reads it as a replay.
TEST(VerifyTraceTest, ATraceIsWhatTheConsoleSendsForItsReports)
{
    const IniValueArray start = placement({{1, 6, 0}, {0, 4, 0}});
    std::vector<std::uint16_t> steps{encode(slider(0, 2)), encode({.kind = StepKind::Point}),
                                     encode(slider(1, 1))};
    for (int p = 0; p < 40; ++p)
        steps.push_back(encode(period({Move::AfterTick, Move::BeforeTick}, {p % 3 == 0, false})));
    steps.push_back(encode({.kind = StepKind::Reverse, .train = 1}));
    for (int p = 0; p < 10; ++p)
        steps.push_back(encode(period()));
    steps.push_back(encode({.kind = StepKind::Reset}));
    steps.push_back(encode(period()));
    const std::vector<std::uint8_t> download{0x00, 0xFF, 0x00, 0x02, 0x41, 0x00};
    const std::string log = traceLog(start, steps, kShape, download, "test");

    const ConsoleReplay replay = consoleReplay(log, iniOfTrace(log));
    EXPECT_TRUE(replay.differences.empty()) << testing::PrintToString(replay.differences);
    EXPECT_EQ(replay.framesCompared, 1u + 51u); // the initialisation frame and every tick
    EXPECT_NE(log.find("NOTE operator: X ポイント"), std::string::npos);

    std::istringstream in(log);
    const sim::ReplayLoad plan = sim::loadReplay(in);
    ASSERT_TRUE(plan.ok()) << testing::PrintToString(plan.errors);
    EXPECT_EQ(plan.plan.expected.size(), 53u); // the download as well
    EXPECT_EQ(plan.plan.blocks.size(), 51u);
}

// The trace of a train turned round into a section another train had next, found before a
// reversal waited for that section to be free. Played to the console now, every frame is the
// same up to the first reversal towards a section another train holds, X's towards Y's tail,
// which the console no longer sends: X stands and waits.
TEST(VerifyTraceTest, ATrainIsNoLongerTurnedIntoAHeldSection)
{
    const std::string log = readText(RELM_VERIFY_DATA "/reversal_into_reserved_section.log");
    ASSERT_FALSE(log.empty());
    const ConsoleReplay replay = consoleReplay(log, iniOfTrace(log));
    ASSERT_FALSE(replay.differences.empty());
    const std::string &d = replay.differences.front();
    EXPECT_EQ(d.rfind("line 9: expected FF 0A 03 12 04 00 11 33 12 14 1F 80 20 00 00 37", 0), 0u)
        << d;
    EXPECT_NE(d.find("sent FF 06 03 12 04 00 11 33 12 14 1F 80 20 00"), std::string::npos) << d;
}

// The shortest way the search found to a train held at a section end on a clean line. X, asked
// to take the point from 0x20 and then to turn round, brakes across into 0x20; the route was
// armed there and the point thrown, and X was turned round with it still thrown. Turned back
// into 0x20 it ran towards 0x27 with the point leading to 0x28, and was held at the end of
// 0x20 for good. Now no route is armed for a train braking to turn round, and a reversal ends
// one that is armed: the request waits, and X, back in 0x20, takes the crossover into 0x28.
TEST(VerifyTraceTest, ATrainTurnedRoundNearAPointIsNotHeldThere)
{
    const Step point{.kind = StepKind::Point, .train = 0};
    const Step reverse{.kind = StepKind::Reverse, .train = 0};
    const Step before = period({Move::BeforeTick});
    const Step after = period({Move::AfterTick});
    std::vector<Step> steps{slider(0, 2), point,    period(), period(),
                            after,        period(), before,   reverse,
                            period(),     before,   period(), period({Move::BeforeTick}, {true}),
                            period(),     period(), reverse,  period(),
                            after};
    for (int s = 0; s < 6; ++s)
        steps.insert(steps.end(), {period(), period(), period(), before});

    World w = startWorld(placement({{0, 1, 1}}), kShape);
    int routeFaults = 0;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const std::vector<Step> possible = stepsFrom(w, kShape);
        ASSERT_TRUE(std::any_of(possible.begin(), possible.end(),
                                [&](const Step &p) { return encode(p) == encode(steps[k]); }))
            << "step " << k << ": " << describe(steps[k]);
        StepResult r = apply(w, steps[k], kShape);
        EXPECT_TRUE(r.findings.empty()) << "step " << k;
        routeFaults += r.routeFaults;
        w = std::move(r.next);
    }
    EXPECT_EQ(routeFaults, 0);
    EXPECT_FALSE(w.trains[0].held);
    EXPECT_EQ(w.trains[0].reg[0], 0x28);
    EXPECT_EQ(w.trains[0].thrown, 0) << "the point is thrown for this passage";
}

} // namespace
} // namespace relm::verify
