#include "sim/physics.h"

#include "sim/controller.h"

#include "support.h"

#include <gtest/gtest.h>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;

// How far train X has run since `from`, counting whole sections entered.
struct Odometer
{
    int sections = 0;
    int lastOwn = 0;
    double start = 0.0;

    explicit Odometer(const Controller &c)
        : lastOwn(c.train(0).reg(0))
        , start(c.train(0).positionMm)
    {}
    double read(const Controller &c)
    {
        if (c.train(0).reg(0) != lastOwn) {
            ++sections;
            lastOwn = c.train(0).reg(0);
        }
        return sections * c.physics().sectionLengthMm + c.train(0).positionMm - start;
    }
};

class StoppingTest : public testing::TestWithParam<int>
{
};

// The console stops a train by ramping its speed register down by 20 every 200 ms once a status
// frame shows the section ahead taken. Whatever the speed, the train must stand within one
// section of the moment the console decided.
TEST_P(StoppingTest, TrainStandsWithinOneSectionOfTheConsolesDecision)
{
    const int speed = GetParam();
    Controller c = test::runningController({test::placedAt(0x01), test::kOff, test::kOff});
    c.receive(test::registerFrame({{4, static_cast<std::uint8_t>(speed)}}));
    c.step(10s); // steady at its speed
    ASSERT_EQ(c.train(0).reportedSpeed(), speed);

    Odometer odo(c);
    c.step(worstReaction(c.statusInterval()));
    double travelled = odo.read(c);
    for (int reg = speed; reg > 0;) {
        reg = std::max(0, reg - 20);
        c.receive(test::registerFrame({{4, static_cast<std::uint8_t>(reg)}}));
        for (int ms = 0; ms < 200; ms += 10) {
            c.step(10ms);
            travelled = odo.read(c);
        }
    }
    while (c.train(0).speed > 0.0) {
        c.step(10ms);
        travelled = odo.read(c);
    }
    EXPECT_LE(travelled, c.physics().sectionLengthMm);
    EXPECT_NEAR(travelled, stoppingDistanceMm(c.physics(), speed, worstReaction(100ms)), 2.0);
    EXPECT_TRUE(c.safety().events().empty());
}

INSTANTIATE_TEST_SUITE_P(Speeds, StoppingTest, testing::Values(128, 127, 100, 64, 48, 21, 20, 1));

TEST(StoppingTest, DefaultPhysicsStopEverySpeedWithinASection)
{
    EXPECT_TRUE(stopsWithinOneSection(Physics{}, worstReaction(1000ms)));
}

struct PhysicsCase
{
    const char *name;
    Physics physics;
    bool safe;
};

class PhysicsCheckTest : public testing::TestWithParam<PhysicsCase>
{
};

TEST_P(PhysicsCheckTest, OverrunIsFound)
{
    EXPECT_EQ(stopsWithinOneSection(GetParam().physics, worstReaction(100ms)), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PhysicsCheckTest,
    testing::Values(PhysicsCase{"Defaults", {}, true},
                    PhysicsCase{"ShortSections", {200.0, 250.0, 40.0, 128.0}, false},
                    PhysicsCase{"Fast", {1000.0, 2000.0, 40.0, 128.0}, false},
                    // Brakes weaker than the console's ramp: the train lags far behind it.
                    PhysicsCase{"WeakBrakes", {1000.0, 1000.0, 40.0, 10.0}, false},
                    PhysicsCase{"NoBrakes", {1000.0, 250.0, 40.0, 0.0}, false}),
    [](const testing::TestParamInfo<PhysicsCase> &p) { return std::string(p.param.name); });

TEST(RunForTest, InertiaIsIndependentOfStepSize)
{
    const Physics p;
    double coarse = 0.0;
    double fine = 0.0;
    const double d1 = runFor(coarse, 128, p, 5.0);
    double d2 = 0.0;
    for (int i = 0; i < 5000; ++i)
        d2 += runFor(fine, 128, p, 0.001);
    EXPECT_DOUBLE_EQ(coarse, 128.0);
    EXPECT_NEAR(d1, d2, 1e-6);
    // 3.2 s to reach 128 at 40 per second: 400 mm, then 1.8 s at 250 mm/s.
    EXPECT_NEAR(d1, 400.0 + 450.0, 1e-9);
}

} // namespace
} // namespace relm::sim
