#include "sim/controller.h"
#include "sim/program_image.h"

#include "support.h"

#include <gtest/gtest.h>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::kOff;
using test::placedAt;

void setSpeed(Controller &c, int t, std::uint8_t speed)
{
    c.receive(test::registerFrame({{static_cast<std::uint8_t>(14 * t + 4), speed}}));
}

void command(Controller &c, int t, std::uint8_t next, std::uint8_t cmd)
{
    c.receive(test::registerFrame({{static_cast<std::uint8_t>(14 * t + 2), next},
                                   {static_cast<std::uint8_t>(14 * t + 7), cmd}}));
}

// Runs until train t's own section changes or the time is up; returns the new own section.
int runToNextSection(Controller &c, int t, Duration limit = 20s)
{
    const int from = c.train(t).reg(0);
    for (Duration d{}; d < limit && c.train(t).reg(0) == from; d += 10ms)
        c.step(10ms);
    return c.train(t).reg(0);
}

TEST(ControllerBootTest, ListensOnlyUntilAProgramArrives)
{
    Controller c;
    c.receive(test::initFrame({placedAt(0x01), kOff, kOff}));
    c.step(2s);
    EXPECT_TRUE(c.takeOutput().empty());
    EXPECT_EQ(c.state(), ProgramState::Listening);
    EXPECT_EQ(c.stats().framesIgnored, 1u);
    EXPECT_FALSE(c.train(0).present());

    c.receive(test::downloadFrame({}));
    EXPECT_EQ(c.state(), ProgramState::Running);
    c.step(1s); // no report until the console has placed the trains
    EXPECT_TRUE(c.takeOutput().empty());
    c.receive(test::initFrame({kOff, kOff, kOff}));
    c.step(350ms);
    const Bytes out = c.takeOutput();
    ASSERT_EQ(out.size(), 3u * kStatusFrameBytes); // at 100, 200 and 300 ms
    EXPECT_EQ(test::lastStatus(out)[0].own, 0x80);
}

TEST(ControllerStatusTest, RecordCarriesRegistersSpeedAndAux)
{
    Controller c = test::runningController({placedAt(0x0A), kOff, placedAt(0x35)});
    c.receive(test::commandFrame({0x0C, 0x80, 0x37}, {60, 0, 0}));
    c.step(1s);
    const auto r = test::lastStatus(c.takeOutput());
    EXPECT_EQ(r[0].own, 0x0A);
    EXPECT_EQ(r[0].behind, 0x09);
    EXPECT_EQ(r[0].next, 0x0B);
    EXPECT_EQ(r[0].after, 0x0C);
    EXPECT_EQ(r[0].speedRegister, 60);
    EXPECT_GT(r[0].speed, 0);
    EXPECT_LT(r[0].speed, 60); // still speeding up: the reported speed lags the register
    EXPECT_EQ(r[0].aux, 0);
    EXPECT_EQ(r[0].spare, 0);
    EXPECT_EQ(r[1].own, 0x80);
    EXPECT_EQ(r[2].own, 0x35);
    EXPECT_EQ(r[2].behind, 0x36);
    EXPECT_EQ(r[2].speed, 0);
}

struct SpeedCase
{
    std::uint8_t reg;
    int steady;
};

class SteadySpeedTest : public testing::TestWithParam<SpeedCase>
{
};

TEST_P(SteadySpeedTest, TrainSettlesAtItsRegisterUpToFullSpeed)
{
    Controller c = test::runningController({placedAt(0x01), kOff, kOff});
    setSpeed(c, 0, GetParam().reg);
    c.step(5s);
    EXPECT_EQ(test::lastStatus(c.takeOutput())[0].speed, GetParam().steady);
}

INSTANTIATE_TEST_SUITE_P(Registers, SteadySpeedTest,
                         testing::Values(SpeedCase{0, 0}, SpeedCase{1, 1}, SpeedCase{48, 48},
                                         SpeedCase{128, 128}, SpeedCase{129, 128},
                                         SpeedCase{255, 128}));

struct RunCase
{
    const char *name;
    int start;
    std::vector<int> owns; // own sections entered one after another
};

class RunTest : public testing::TestWithParam<RunCase>
{
};

TEST_P(RunTest, EntersNextSectionsAndShiftsRegisters)
{
    Controller c = test::runningController({placedAt(GetParam().start), kOff, kOff});
    setSpeed(c, 0, 128);
    int behind = GetParam().start;
    for (int own : GetParam().owns) {
        const int next = c.train(0).reg(3);
        ASSERT_EQ(runToNextSection(c, 0), own);
        EXPECT_EQ(c.train(0).reg(1), behind);
        EXPECT_EQ(c.train(0).reg(2), next); // register 3 moved up
        behind = own;
    }
    EXPECT_TRUE(c.safety().events().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Loops, RunTest,
    testing::Values(RunCase{"ForwardWrapsSevenToZero", 0x06, {0x07, 0x00, 0x01}},
                    RunCase{"ReverseWrapsZeroToSeven", 0x21, {0x20, 0x27, 0x26}},
                    RunCase{"Route3Forward", 0x1E, {0x1F, 0x18}},
                    // Points lie normal: straight past both crossovers.
                    RunCase{"PastCrossoverAStraight", 0x0F, {0x08, 0x09, 0x0A}},
                    RunCase{"PastCrossoverBStraight", 0x07, {0x00, 0x01}}),
    [](const testing::TestParamInfo<RunCase> &p) { return std::string(p.param.name); });

struct PointCase
{
    const char *name;
    int from;
    int diverging;
    int after;
};

class PointTest : public testing::TestWithParam<PointCase>
{
};

TEST_P(PointTest, CommandThrowsPointAndPassageEndRestoresIt)
{
    const PointCase p = GetParam();
    Controller c = test::runningController({placedAt(p.from), kOff, kOff});
    c.receive(test::registerFrame({{3, static_cast<std::uint8_t>(p.after)}}));
    command(c, 0, static_cast<std::uint8_t>(p.diverging), kCommandPoint);
    setSpeed(c, 0, 48);
    c.step(150ms);
    EXPECT_EQ(test::lastStatus(c.takeOutput())[0].aux, kAuxPointThrown);

    ASSERT_EQ(runToNextSection(c, 0), p.diverging);
    EXPECT_EQ(c.train(0).reg(1), p.from);
    EXPECT_EQ(c.train(0).reg(2), p.after);
    ASSERT_EQ(runToNextSection(c, 0), p.after);

    const PointConnection *conn = connectionAt(p.from);
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(c.layout().point(conn->point), PointState::Diverging);
    command(c, 0, c.train(0).reg(2), kCommandPointDone);
    EXPECT_EQ(c.layout().point(conn->point), PointState::Normal);
    c.step(150ms);
    EXPECT_EQ(test::lastStatus(c.takeOutput())[0].aux, 0);
    EXPECT_TRUE(c.safety().events().empty());
}

TEST_P(PointTest, WithoutThePointTheTrainIsHeldAtTheEnd)
{
    const PointCase p = GetParam();
    Controller c = test::runningController({placedAt(p.from), kOff, kOff});
    // Register 2 names the diverging section, but no point command came.
    c.receive(test::registerFrame({{2, static_cast<std::uint8_t>(p.diverging)}}));
    setSpeed(c, 0, 48);
    EXPECT_EQ(runToNextSection(c, 0, 30s), p.from);
    EXPECT_TRUE(c.train(0).held);
    EXPECT_EQ(c.train(0).reportedSpeed(), 0);
    c.step(150ms);
    EXPECT_EQ(test::lastStatus(c.takeOutput())[0].aux, kAuxHeld);
    ASSERT_EQ(c.safety().count(SafetyKind::RouteFault), 1u);
    EXPECT_EQ(c.safety().events()[0].wanted, p.diverging);

    // The console throws the point: the train goes on.
    command(c, 0, static_cast<std::uint8_t>(p.diverging), kCommandPoint);
    EXPECT_EQ(runToNextSection(c, 0), p.diverging);
    EXPECT_FALSE(c.train(0).held);
    EXPECT_EQ(c.safety().count(SafetyKind::RouteFault), 1u);
}

INSTANTIATE_TEST_SUITE_P(Connections, PointTest,
                         testing::Values(PointCase{"Route1To0Forward", 0x08, 0x00, 0x01},
                                         PointCase{"Route0To1Forward", 0x00, 0x09, 0x0A},
                                         PointCase{"Route1To0Reverse", 0x29, 0x20, 0x27},
                                         PointCase{"Route0To1Reverse", 0x20, 0x28, 0x2F}),
                         [](const testing::TestParamInfo<PointCase> &p) {
                             return std::string(p.param.name);
                         });

struct BadCommandCase
{
    const char *name;
    int train;
    int own;
    std::uint8_t next;
    std::uint8_t cmd;
};

class BadCommandTest : public testing::TestWithParam<BadCommandCase>
{
};

TEST_P(BadCommandTest, RefusedAndTheProgramRunsOn)
{
    const BadCommandCase b = GetParam();
    test::Placement p{kOff, kOff, kOff};
    p[static_cast<std::size_t>(b.train)] = placedAt(b.own);
    Controller c = test::runningController(p);
    command(c, b.train, b.next, b.cmd);
    EXPECT_EQ(c.stats().badCommands, 1u);
    EXPECT_EQ(c.state(), ProgramState::Running);
    EXPECT_EQ(c.layout().point(0), PointState::Normal);
    EXPECT_EQ(c.layout().point(1), PointState::Normal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadCommandTest,
    testing::Values(BadCommandCase{"PointWhereThereIsNone", 0, 0x03, 0x0C, kCommandPoint},
                    BadCommandCase{"PointToAWrongSection", 0, 0x08, 0x10, kCommandPoint},
                    BadCommandCase{"PointAgainstDirection", 0, 0x08, 0x20, kCommandPoint},
                    BadCommandCase{"StopFromTrainY", 1, 0x03, 0x04, kCommandStop},
                    BadCommandCase{"UnknownCommand", 2, 0x03, 0x04, 0x31}),
    [](const testing::TestParamInfo<BadCommandCase> &p) { return std::string(p.param.name); });

TEST(ControllerStopTest, StopHaltsEveryTrainUntilTheNextDownload)
{
    Controller c = test::runningController({placedAt(0x01), placedAt(0x0B), placedAt(0x13)});
    c.receive(test::commandFrame({0x03, 0x0D, 0x15}, {128, 128, 128}));
    c.step(3s);
    // The console's last frame: base pairs, then register 2 and the stop command of train X.
    c.receive(test::registerFrame({{3, 0x03},
                                   {4, 128},
                                   {17, 0x0D},
                                   {18, 128},
                                   {31, 0x15},
                                   {32, 128},
                                   {2, c.train(0).reg(2)},
                                   {7, kCommandStop}}));
    EXPECT_EQ(c.state(), ProgramState::Halted);
    const int own = c.train(0).reg(0);
    c.takeOutput();
    c.receive(test::commandFrame({0x03, 0x0D, 0x15}, {128, 128, 128}));
    c.step(5s);
    EXPECT_TRUE(c.takeOutput().empty());
    EXPECT_EQ(c.train(0).reg(0), own);
    for (int t = 0; t < kTrains; ++t)
        EXPECT_EQ(c.train(t).reportedSpeed(), 0);
    EXPECT_EQ(c.stats().framesIgnored, 1u);

    c.receive(test::downloadFrame({1, 2, 3}));
    EXPECT_EQ(c.state(), ProgramState::Running);
    EXPECT_FALSE(c.train(0).present()); // until the console places the trains again
    c.step(100ms);
    EXPECT_TRUE(c.takeOutput().empty());
    c.receive(test::initFrame({placedAt(0x01), kOff, kOff}));
    c.step(100ms);
    EXPECT_EQ(c.takeOutput().size(), std::size_t{kStatusFrameBytes});
    EXPECT_EQ(c.stats().downloads, 2u);
}

TEST(ControllerReversalTest, ReversedTrainRunsBackIntoTheSectionBehind)
{
    Controller c = test::runningController({placedAt(0x0A), kOff, kOff});
    // As the console sends a reversal of a standing train at 0A (behind 09).
    c.receive(test::registerFrame({{0, 0x29}, {1, 0x2A}, {2, 0x28}, {3, 0x2F}}));
    setSpeed(c, 0, 40);
    EXPECT_EQ(runToNextSection(c, 0), 0x28);
    EXPECT_EQ(c.train(0).reg(1), 0x29);
    EXPECT_EQ(c.train(0).reg(2), 0x2F);
    EXPECT_TRUE(c.safety().events().empty());
}

struct WatchCase
{
    const char *name;
    test::Placement placement;
    int mover; // train set running, -1 none
    SafetyKind kind;
    int section;
    int train;
    int other;
};

class SafetyWatchTest : public testing::TestWithParam<WatchCase>
{
};

TEST_P(SafetyWatchTest, EventRecordedOnceAndFlagged)
{
    const WatchCase w = GetParam();
    Controller c = test::runningController(w.placement);
    if (w.mover >= 0) {
        setSpeed(c, w.mover, 128);
        runToNextSection(c, w.mover);
    }
    c.step(2s); // trains stand or run on; the overlap is not reported twice
    ASSERT_EQ(c.safety().events().size(), 1u);
    const SafetyEvent &e = c.safety().events()[0];
    EXPECT_EQ(e.kind, w.kind);
    EXPECT_EQ(e.section, w.section);
    EXPECT_EQ(e.train, w.train);
    EXPECT_EQ(e.other, w.other);
    const auto r = test::lastStatus(c.takeOutput());
    EXPECT_EQ(r[static_cast<std::size_t>(w.train)].aux & kAuxSharing, kAuxSharing);
    EXPECT_EQ(r[static_cast<std::size_t>(w.other)].aux & kAuxSharing, kAuxSharing);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafetyWatchTest,
                         testing::Values(WatchCase{"PlacedInOneSection",
                                                   {placedAt(0x03), kOff, placedAt(0x23)},
                                                   -1,
                                                   SafetyKind::SharedSection,
                                                   0x03,
                                                   0,
                                                   2},
                                         WatchCase{"PlacedOnATail",
                                                   {kOff, placedAt(0x05), placedAt(0x04)},
                                                   -1,
                                                   SafetyKind::SharedSection,
                                                   0x04,
                                                   1,
                                                   2},
                                         WatchCase{"RunsIntoATail",
                                                   {placedAt(0x11), placedAt(0x13), kOff},
                                                   0,
                                                   SafetyKind::EnteredOccupied,
                                                   0x12,
                                                   0,
                                                   1},
                                         WatchCase{"HeadOnIntoAHead",
                                                   {kOff, placedAt(0x1A), placedAt(0x3B)},
                                                   2,
                                                   SafetyKind::EnteredOccupied,
                                                   0x1A,
                                                   2,
                                                   1}),
                         [](const testing::TestParamInfo<WatchCase> &p) {
                             return std::string(p.param.name);
                         });

TEST(SafetyWatchTest, AbsentAndDistantTrainsRaiseNothing)
{
    Controller c = test::runningController({placedAt(0x01), placedAt(0x04), kOff});
    // An absent code with a section number in its low bits never covers that section.
    c.receive(test::registerFrame({{28, 0x81}, {29, 0x82}}));
    setSpeed(c, 1, 128);
    c.step(10s);
    EXPECT_TRUE(c.safety().events().empty());
}

TEST(ControllerTimeTest, OutputDoesNotDependOnHowTimeIsSliced)
{
    const auto run = [](Duration slice) {
        Controller c = test::runningController({placedAt(0x01), placedAt(0x0C), kOff});
        c.receive(test::commandFrame({0x03, 0x0E, 0x80}, {128, 77, 0}));
        Bytes all;
        for (Duration d{}; d < 9s; d += slice) {
            c.step(slice);
            const Bytes out = c.takeOutput();
            all.insert(all.end(), out.begin(), out.end());
        }
        return all;
    };
    const Bytes fine = run(1ms);
    EXPECT_EQ(fine.size(), 90u * kStatusFrameBytes);
    EXPECT_EQ(run(37ms), fine);
    EXPECT_EQ(run(1s), fine);
}

TEST(ControllerImageTest, ImageSetsTheStatusIntervalUnlessTheOperatorDid)
{
    const Bytes image =
        buildImage(std::vector<ImageParameter>{{ImageKey::StatusIntervalMs, 250}}, "t");
    Controller fromImage;
    fromImage.receive(test::downloadFrame(image));
    fromImage.receive(test::initFrame({test::kOff, test::kOff, test::kOff}));
    fromImage.step(1s);
    EXPECT_EQ(fromImage.takeOutput().size(), 4u * kStatusFrameBytes);

    ControllerConfig fixed;
    fixed.statusInterval = 500ms;
    Controller fromOperator(fixed);
    fromOperator.receive(test::downloadFrame(image));
    fromOperator.receive(test::initFrame({test::kOff, test::kOff, test::kOff}));
    fromOperator.step(1s);
    EXPECT_EQ(fromOperator.takeOutput().size(), 2u * kStatusFrameBytes);
}

} // namespace
} // namespace relm::sim

namespace relm::sim {
namespace {

TEST(ControllerGarbageTest, LineNoiseIsCountedAndAProperFrameStillWorks)
{
    Controller c = test::runningController({test::placedAt(0x01), test::kOff, test::kOff});
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(seed >> 16);
    };
    for (int burst = 0; burst < 2000; ++burst) {
        test::Bytes noise(1 + next() % 40);
        for (std::uint8_t &b : noise)
            b = next() % 4 == 0 ? 0xFF : next();
        c.receive(noise);
        c.step(std::chrono::milliseconds(next() % 80));
    }
    EXPECT_GT(c.stats().malformed(), 0u);
    c.step(std::chrono::milliseconds(100)); // let a half frame expire
    // Whatever the noise did, the console can still take the layout back.
    c.receive(test::downloadFrame({}));
    c.receive(test::initFrame({test::placedAt(0x12), test::kOff, test::kOff}));
    EXPECT_EQ(c.state(), ProgramState::Running);
    EXPECT_EQ(c.train(0).reg(0), 0x12);
    EXPECT_FALSE(c.train(1).present());
}

} // namespace
} // namespace relm::sim
