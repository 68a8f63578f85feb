#include "sim/controller.h"
#include "sim/program_image.h"

#include "support.h"

#include <gtest/gtest.h>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using namespace test;

// Runs until train t's own section changes or the time is up; returns the new own section.
int runToNextSection(Controller &c, int t, Duration limit = 20s)
{
    const int from = c.train(t).reg(0);
    for (Duration d{}; d < limit && c.train(t).reg(0) == from; d += 10ms)
        c.step(10ms);
    return c.train(t).reg(0);
}

TEST(ControllerTest, ListensUntilAProgramAndReportsOnceTrainsArePlaced)
{
    Controller c;
    c.receive(initFrame({placedAt(0x01), kOff, kOff}));
    c.step(2s);
    EXPECT_TRUE(c.takeOutput().empty());
    EXPECT_FALSE(c.train(0).present());
    // The image asks for a status frame every 250 ms.
    c.receive(downloadFrame(
        buildImage(std::vector<ImageParameter>{{ImageKey::StatusIntervalMs, 250}}, "")));
    c.step(1s);
    EXPECT_TRUE(c.takeOutput().empty());
    c.receive(initFrame({kOff, kOff, placedAt(0x35)}));
    c.receive(commandFrame({0x80, 0x80, 0x37}, {0, 0, 255}));
    c.step(1s);
    const Bytes out = c.takeOutput();
    ASSERT_EQ(out.size(), 4u * kStatusFrameBytes);
    EXPECT_EQ(lastStatus(out)[1], (Record{0x80, 0x80, 0x80, 0x80, 0, 0, 0, 0}));
    // Speeding up at 40 a second, not jumping to the register.
    EXPECT_EQ(lastStatus(out)[2], (Record{0x35, 0x36, 0x34, 0x37, 255, 40, 0, 0}));
    c.step(5s);
    EXPECT_EQ(c.train(2).speed, 128.0); // registers above 128 run at full speed
}

TEST(ControllerTest, TrainEntersNextSectionsAndShiftsRegisters)
{
    // Start, then the own sections entered one after another; points lie normal.
    const std::vector<std::pair<int, std::vector<int>>> runs{
        {0x06, {0x07, 0x00, 0x01}}, {0x21, {0x20, 0x27, 0x26}}, {0x0F, {0x08, 0x09, 0x0A}}};
    for (const auto &[start, owns] : runs) {
        Controller c = runningController({placedAt(start), kOff, kOff});
        c.receive(trainFrame({{0, 4, 128}}));
        int behind = start;
        for (int own : owns) {
            const int next = c.train(0).reg(3);
            ASSERT_EQ(runToNextSection(c, 0), own);
            EXPECT_EQ(c.train(0).reg(1), behind);
            EXPECT_EQ(c.train(0).reg(2), next);
            behind = own;
        }
        EXPECT_TRUE(c.safety().events().empty());
    }
}

class ControllerPointTest : public testing::TestWithParam<std::array<int, 3>>
{
};

// The train is held at the end of its section until the point is thrown for it, runs on over
// it, and the end of its passage puts the point back.
TEST_P(ControllerPointTest, TrainWaitsForThePointAndPassesOverIt)
{
    const auto [from, diverging, after] = GetParam();
    Controller c = runningController({placedAt(from), kOff, kOff});
    c.receive(trainFrame({{0, 3, after}, {0, 2, diverging}, {0, 4, 48}}));
    EXPECT_EQ(runToNextSection(c, 0, 30s), from);
    EXPECT_EQ(c.train(0).reportedSpeed(), 0);
    EXPECT_EQ(c.statusFrame()[kAux], kAuxHeld);
    ASSERT_EQ(c.safety().count(SafetyKind::RouteFault), 1u);
    EXPECT_EQ(c.safety().events()[0].wanted, diverging);

    c.receive(trainFrame({{0, 2, diverging}, {0, 7, kCommandPoint}}));
    ASSERT_EQ(runToNextSection(c, 0), diverging);
    EXPECT_EQ(c.statusFrame()[kAux], kAuxPointThrown);
    EXPECT_EQ(c.train(0).reg(1), from);
    EXPECT_EQ(c.train(0).reg(2), after);
    ASSERT_EQ(runToNextSection(c, 0), after);
    const int point = connectionAt(from)->point;
    EXPECT_EQ(c.layout().point(point), PointState::Diverging);
    c.receive(trainFrame({{0, 2, c.train(0).reg(2)}, {0, 7, kCommandPointDone}}));
    EXPECT_EQ(c.layout().point(point), PointState::Normal);
    EXPECT_EQ(c.statusFrame()[kAux], 0);
    EXPECT_EQ(c.safety().events().size(), 1u);
}

// From, diverging, after: both ways between routes 0 and 1, forward and reverse.
INSTANTIATE_TEST_SUITE_P(Connections, ControllerPointTest,
                         testing::Values(std::array{0x08, 0x00, 0x01}, std::array{0x00, 0x09, 0x0A},
                                         std::array{0x29, 0x20, 0x27},
                                         std::array{0x20, 0x28, 0x2F}));

TEST(ControllerTest, BadCommandsAreRefusedAndTheProgramRunsOn)
{
    // Train, the section all trains stand in, register 2, command: no point there, a wrong
    // section, the other direction, a stop from train Y, an unknown command.
    for (const auto &[t, own, next, command] :
         {std::array{0, 0x03, 0x0C, +kCommandPoint}, std::array{0, 0x08, 0x10, +kCommandPoint},
          std::array{0, 0x08, 0x20, +kCommandPoint}, std::array{1, 0x03, 0x04, +kCommandStop},
          std::array{2, 0x03, 0x04, 0x31}}) {
        Controller c = runningController({placedAt(own), placedAt(own), placedAt(own)});
        c.receive(trainFrame({{t, 2, next}, {t, 7, command}}));
        EXPECT_EQ(c.stats().badCommands, 1u) << own << " " << command;
        EXPECT_EQ(c.state(), ProgramState::Running);
        EXPECT_EQ(std::pair(c.layout().point(0), c.layout().point(1)),
                  std::pair(PointState::Normal, PointState::Normal));
    }
}

TEST(ControllerTest, StopHaltsEveryTrainUntilTheNextDownload)
{
    Controller c = runningController({placedAt(0x01), placedAt(0x0B), placedAt(0x13)});
    const Bytes run = commandFrame({0x03, 0x0D, 0x15}, {128, 128, 128});
    c.receive(run);
    c.step(3s);
    // The console's last frame: the tick's pairs, then register 2 and train X's stop command.
    c.receive(trainFrame({{0, 3, 0x03},
                          {0, 4, 128},
                          {1, 3, 0x0D},
                          {1, 4, 128},
                          {2, 3, 0x15},
                          {2, 4, 128},
                          {0, 2, c.train(0).reg(2)},
                          {0, 7, kCommandStop}}));
    EXPECT_EQ(c.state(), ProgramState::Halted);
    c.takeOutput();
    c.receive(run);
    c.step(5s);
    EXPECT_TRUE(c.takeOutput().empty());
    for (int t = 0; t < kTrains; ++t)
        EXPECT_EQ(c.train(t).reportedSpeed(), 0);
    c.receive(downloadFrame({1, 2, 3}));
    EXPECT_EQ(c.state(), ProgramState::Running);
    EXPECT_FALSE(c.train(0).present()); // until the console places the trains again
}

TEST(ControllerTest, SafetyWatchRecordsEachOverlapOnceAndFlagsBothTrains)
{
    using enum SafetyKind;
    using Event = std::tuple<SafetyKind, int, int, int>; // kind, section, train, other
    // Placement, the train set running (-1 none), the events expected.
    const std::vector<std::tuple<Placement, int, std::vector<Event>>> cases{
        {{placedAt(0x03), kOff, placedAt(0x23)}, -1, {{SharedSection, 0x03, 0, 2}}},
        {{kOff, placedAt(0x05), placedAt(0x04)}, -1, {{SharedSection, 0x04, 1, 2}}},
        {{placedAt(0x11), placedAt(0x13), kOff}, 0, {{EnteredOccupied, 0x12, 0, 1}}},
        {{kOff, placedAt(0x1A), placedAt(0x3B)}, 2, {{EnteredOccupied, 0x1A, 2, 1}}},
        // An absent code with a section number in its low bits never covers that section.
        {{placedAt(0x01), placedAt(0x04), {0x81, 0x82, 0x80, 0x80}}, 1, {}}};
    for (const auto &[placement, mover, events] : cases) {
        Controller c = runningController(placement);
        c.receive(trainFrame({{std::max(mover, 0), 4, mover >= 0 ? 128 : 0}}));
        runToNextSection(c, std::max(mover, 0), mover >= 0 ? 20s : 0s);
        c.step(2s); // trains stand or run on; the overlap is not reported twice
        std::vector<Event> seen;
        for (const SafetyEvent &e : c.safety().events())
            seen.emplace_back(e.kind, e.section, e.train, e.other);
        ASSERT_EQ(seen, events);
        const auto sharing = [&c](int t) {
            return c.statusFrame()[8 * std::size_t(t) + kAux] & kAuxSharing;
        };
        for (const auto &[kind, section, train, other] : events)
            EXPECT_TRUE(sharing(train) && sharing(other));
    }
}

// Reversed part-way through a section, the train's head is the old tail: it has as far to its
// next boundary as it had run into the section, not the rest of the section.
TEST(ControllerTest, AReversalMirrorsTheDistanceRunIntoTheSection)
{
    Controller c = runningController({placedAt(0x01), kOff, kOff});
    c.receive(trainFrame({{0, 4, 128}}));
    const double startMm = c.train(0).positionMm;
    while (c.train(0).positionMm < startMm + 150.0)
        c.step(10ms);
    c.receive(trainFrame({{0, 4, 0}}));
    c.step(3s);
    ASSERT_EQ(c.train(0).reg(0), 0x01);
    const double runMm = c.train(0).positionMm;
    ASSERT_GT(runMm, startMm + 150.0);
    // The reversed registers, as the console computes them for own 0x01, behind 0x00.
    c.receive(trainFrame({{0, 0, 0x20}, {0, 1, 0x21}, {0, 2, 0x27}, {0, 3, 0x26}}));
    EXPECT_DOUBLE_EQ(c.physics().sectionLengthMm - c.train(0).positionMm, runMm);
    c.receive(trainFrame({{0, 4, 128}}));
    EXPECT_EQ(runToNextSection(c, 0), 0x27);
    EXPECT_TRUE(c.safety().events().empty());
}

// An absent next-section register is no route, even where the track ahead is section 0 of
// route 0, whose code has the same low bits.
TEST(ControllerTest, AnAbsentNextSectionRegisterHoldsTheTrain)
{
    Controller c = runningController({placedAt(0x07), kOff, kOff});
    c.receive(trainFrame({{0, 2, 0x80}, {0, 4, 128}}));
    EXPECT_EQ(runToNextSection(c, 0, 10s), 0x07);
    ASSERT_EQ(c.safety().events().size(), 1u);
    EXPECT_EQ(c.safety().events()[0].kind, SafetyKind::RouteFault);
    EXPECT_EQ(c.statusFrame()[kAux], kAuxHeld);
}

class StoppingTest : public testing::TestWithParam<int>
{
};

// The console stops a train by ramping its speed register down by 20 every 200 ms, once a status
// frame shows the section ahead taken. Whatever the speed, the simulated train stands within one
// section of the moment the console decided, as far as the stopping distance says.
TEST_P(StoppingTest, TrainStandsWithinOneSectionOfTheConsolesDecision)
{
    Controller c = runningController({placedAt(0x01), kOff, kOff});
    c.receive(trainFrame({{0, 4, GetParam()}}));
    c.step(10s);
    ASSERT_EQ(c.train(0).reportedSpeed(), GetParam());
    const double start = c.train(0).positionMm;
    int entered = 0;
    const auto run = [&c, &entered](Duration d, int reg) {
        c.receive(trainFrame({{0, 4, reg}}));
        for (Duration t{}; t < d; t += 10ms) {
            const int own = c.train(0).reg(0);
            c.step(10ms);
            entered += c.train(0).reg(0) != own ? 1 : 0;
        }
    };
    run(worstReaction(c.statusInterval()), GetParam());
    for (int reg = GetParam(); reg > 0;)
        run(200ms, reg = std::max(0, reg - 20));
    run(2s, 0);
    ASSERT_EQ(c.train(0).speed, 0.0);
    const double sectionMm = c.physics().sectionLengthMm;
    const double travelled = entered * sectionMm + c.train(0).positionMm - start;
    EXPECT_LE(travelled, sectionMm);
    EXPECT_NEAR(travelled, stoppingDistanceMm(c.physics(), GetParam(), worstReaction(100ms)), 2.0);
}

INSTANTIATE_TEST_SUITE_P(Speeds, StoppingTest, testing::Values(128, 127, 21, 20, 1));

TEST(StoppingTest, PhysicsThatLetATrainOverrunASectionAreFound)
{
    // Section length, speed at 128, acceleration, braking; status interval; safe.
    // Brakes of 10 a second are weaker than the console's ramp: the train lags far behind it.
    for (const auto &[physics, interval, safe] :
         {std::tuple{Physics{}, 1000ms, true},
          std::tuple{Physics{200.0, 250.0, 40.0, 128.0}, 100ms, false},
          std::tuple{Physics{1000.0, 1000.0, 40.0, 10.0}, 100ms, false},
          std::tuple{Physics{1000.0, 250.0, 40.0, 0.0}, 100ms, false}})
        EXPECT_EQ(stopsWithinOneSection(physics, worstReaction(interval)), safe)
            << physics.sectionLengthMm << " " << physics.topSpeedMmPerS;
}

} // namespace
} // namespace relm::sim
