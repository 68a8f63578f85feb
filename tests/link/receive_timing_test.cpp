#include "link/receive_timing.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

struct WaitCase
{
    std::size_t waiting;
    ReceiveWait wait;
};
using ReceiveWaitTest = testing::TestWithParam<WaitCase>;

// Whole 24-byte frames go soonest; anything else waits long enough not to be cut again.
TEST_P(ReceiveWaitTest, HandsOverWholeFramesSoonest)
{
    EXPECT_EQ(receiveWait(GetParam().waiting), GetParam().wait) << GetParam().waiting << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Waiting, ReceiveWaitTest,
    testing::Values(WaitCase{0, ReceiveWait::Fragment}, WaitCase{1, ReceiveWait::Fragment},
                    WaitCase{22, ReceiveWait::Fragment}, WaitCase{23, ReceiveWait::Frame},
                    WaitCase{24, ReceiveWait::WholeFrame}, WaitCase{25, ReceiveWait::Frame},
                    WaitCase{47, ReceiveWait::Frame}, WaitCase{48, ReceiveWait::Now},
                    WaitCase{49, ReceiveWait::Now}, WaitCase{1024, ReceiveWait::Now}));

} // namespace
} // namespace relm
