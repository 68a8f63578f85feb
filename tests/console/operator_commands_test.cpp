#include "console/operator_commands.h"

#include <gtest/gtest.h>

#include <ostream>

namespace relm {
namespace {

constexpr std::uint32_t kFace = 0x8000000F;

// Point and Reverse toggle a request the frames have not yet acted on, and leave anything else.
struct PressCase
{
    bool point; // else Reverse
    std::int16_t before, after;
    std::optional<std::uint32_t> colour;
};

std::ostream &operator<<(std::ostream &os, const PressCase &c)
{
    return os << (c.point ? "Point " : "Reverse ") << c.before << " -> " << c.after;
}

class RequestButtonTest : public testing::TestWithParam<PressCase>
{
};

TEST_P(RequestButtonTest, TogglesOnlyARequestStillPending)
{
    const PressCase &c = GetParam();
    Module1 m;
    m.PointArmed[2] = m.PointBlocked[2] = kTrue; // a route set and a refusal mark stay
    Module1::Table3 &state = c.point ? m.PointReq : m.RevState;
    state[2] = c.before;
    EXPECT_EQ(c.point ? pointPressed(m, 2) : reversePressed(m, 2), c.colour);
    EXPECT_EQ(state[2], c.after);
    EXPECT_EQ(m.PointArmed[2] & m.PointBlocked[2], kTrue);
}

INSTANTIATE_TEST_SUITE_P(
    PointAndReverse, RequestButtonTest,
    testing::Values(PressCase{true, 0, 1, kRequestColour}, PressCase{true, 1, 0, kFace},
                    PressCase{true, 7, 7, std::nullopt},
                    PressCase{false, kRevIdle, kRevRequested, kRequestColour},
                    PressCase{false, kRevRequested, kRevIdle, kFace},
                    PressCase{false, kRevStopping, kRevStopping, std::nullopt}));

} // namespace
} // namespace relm
