#include "console/operator_commands.h"

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

} // namespace
} // namespace relm
