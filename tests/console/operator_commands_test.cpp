#include "console/operator_commands.h"

#include "link/command_tick.h"
#include "link/register_frames.h"

#include <gtest/gtest.h>

#include <ostream>

namespace relm {
namespace {

constexpr std::uint32_t kFace = 0x8000000F;     // the system button face
constexpr std::uint32_t kLightRed = 0x8080FF; // red 255, green 128, blue 128

// Point and Reverse toggle a request the frames have not yet acted on, and leave anything else.
struct PressCase
{
    bool point; // else Reverse
    std::int16_t before, after;
    std::optional<std::uint32_t> colour;
    std::int16_t own = 0x0A; // the train's PosCode0
};

std::ostream &operator<<(std::ostream &os, const PressCase &c)
{
    return os << (c.point ? "Point " : "Reverse ") << c.before << " -> " << c.after << " at "
              << c.own;
}

class RequestButtonTest : public testing::TestWithParam<PressCase>
{
};

TEST_P(RequestButtonTest, TogglesOnlyARequestStillPending)
{
    const PressCase &c = GetParam();
    Module1 m;
    m.PosCode0[2] = c.own;
    m.PointArmed[2] = m.PointBlocked[2] = kTrue; // a route set and a refusal mark stay
    Module1::Table3 &state = c.point ? m.PointReq : m.RevState;
    state[2] = c.before;
    EXPECT_EQ(c.point ? pointPressed(m, 2) : reversePressed(m, 2), c.colour);
    EXPECT_EQ(state[2], c.after);
    EXPECT_EQ(m.PointArmed[2] & m.PointBlocked[2], kTrue);
}

INSTANTIATE_TEST_SUITE_P(
    PointAndReverse, RequestButtonTest,
    testing::Values(PressCase{true, 0, 1, kLightRed}, PressCase{true, 1, 0, kFace},
                    PressCase{true, 7, 7, std::nullopt},
                    PressCase{false, kRevIdle, kRevRequested, kLightRed},
                    PressCase{false, kRevRequested, kRevIdle, kFace},
                    PressCase{false, kRevStopping, kRevStopping, std::nullopt},
                    // A train off the layout (128, or a code the controller never sends) is not
                    // reversed; a request made before it left may still be withdrawn.
                    PressCase{false, kRevIdle, kRevIdle, std::nullopt, 128},
                    PressCase{false, kRevIdle, kRevIdle, std::nullopt, 0xA5},
                    PressCase{false, kRevRequested, kRevIdle, kFace, 128},
                    PressCase{true, 0, 1, kLightRed, 128}));

// Stop lets the ramp bring the train down; the emergency stop puts speed 0 into the very next
// command frame, and the next status frame keeps it there.
TEST(EmergencyStopTest, TheNextCommandFrameCarriesSpeedZero)
{
    for (const bool emergency : {false, true}) {
        Module1 m;
        m.InitSent = kTrue;
        m.SliderSpeed[1] = m.TargetSpeed[1] = m.OutSpeed[1] = 100;
        if (emergency)
            emergencyStopPressed(m, 1);
        else
            stopPressed(m, 1);
        m.TargetSpeed[1] = m.SliderSpeed[1]; // what the next status pass sets
        const std::vector<std::uint8_t> frame = commandFrameTick(m).bytes;
        ASSERT_EQ(frame.size(), 14u);
        EXPECT_EQ(frame[8], registerAddress(1, kRegSpeed));
        EXPECT_EQ(frame[9], emergency ? 0 : 80) << (emergency ? "emergency stop" : "stop");
        EXPECT_EQ(m.SliderSpeed[1], 0);
    }
}

// Whether a reversal asked for now is taken, by the last status frame: only a standing train on
// the layout, reported and believed, with no reversal under way; a pending request may always
// be withdrawn.
struct ReversalCase
{
    const char *name;
    std::int16_t revState = kRevIdle;
    std::int16_t own = 0x0A;
    std::int16_t outSpeed = 0;
    std::int16_t reported = 0;
    bool unreported = false;
    bool doubted = false;
    std::optional<ReversalRefusal> expected = std::nullopt;
};

std::ostream &operator<<(std::ostream &os, const ReversalCase &c)
{
    return os << c.name;
}

class ReversalRefusalTest : public testing::TestWithParam<ReversalCase>
{
};

TEST_P(ReversalRefusalTest, FollowsTheReversalPassAndTheButton)
{
    const ReversalCase &c = GetParam();
    Module1 m;
    m.RevState[0] = c.revState;
    m.PosCode0[0] = c.own;
    m.OutSpeed[0] = c.outSpeed;
    FrameReading last;
    last.actualSpeed[0] = c.reported;
    last.unreported[0] = c.unreported;
    last.doubted[0] = c.doubted;
    EXPECT_EQ(reversalRefusal(m, 0, last), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Reversal, ReversalRefusalTest,
    testing::Values(
        ReversalCase{"standing"},
        ReversalCase{"creeping below 2", kRevIdle, 0x0A, 0, 1},
        ReversalCase{"reported at 2", kRevIdle, 0x0A, 0, 2, false, false, ReversalRefusal::Moving},
        ReversalCase{"sent speed", kRevIdle, 0x0A, 20, 0, false, false, ReversalRefusal::Moving},
        ReversalCase{"not reported", kRevIdle, 0x0A, 0, 0, true, false,
                     ReversalRefusal::NotReported},
        ReversalCase{"held by the watch", kRevIdle, 0x0A, 0, 0, false, true,
                     ReversalRefusal::NotReported},
        ReversalCase{"absent", kRevIdle, 128, 0, 0, false, false, ReversalRefusal::NotOnLayout},
        ReversalCase{"withdrawn while moving", kRevRequested, 0x0A, 60, 50},
        ReversalCase{"stopping", kRevStopping, 0x0A, 0, 0, false, false, ReversalRefusal::UnderWay},
        ReversalCase{"ready", kRevReady, 0x0A, 0, 0, false, false, ReversalRefusal::UnderWay}));

} // namespace
} // namespace relm
