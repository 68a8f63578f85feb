#include "traffic/replay.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;
using enum DifferenceKind;

constexpr int P = 0x100; // stands among the speeds for a frame with the point command for Y

// Command frames with train X's speed byte (frame byte 5) from speeds, at the given times, or
// every step ms from 0.
std::vector<TimedFrame> frames(const std::vector<int> &speeds, std::vector<std::int64_t> ms = {},
                               std::int64_t step = 200)
{
    std::vector<TimedFrame> out;
    for (std::size_t i = 0; i < speeds.size(); ++i) {
        Bytes f{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x00, 0x11, 0x80, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};
        f[5] = static_cast<std::uint8_t>(speeds[i]);
        if (speeds[i] == P) // the point command for Y
            f.insert(f.end(), {0x10, 0x09, 0x15, 0x30});
        f[1] = static_cast<std::uint8_t>(f.size() / 2 - 1);
        out.push_back({i < ms.size() ? ms[i] : step * static_cast<std::int64_t>(i), f});
    }
    return out;
}

struct ReplayCase
{
    std::vector<TimedFrame> recorded, sent;
    std::vector<DifferenceKind> kinds;
    std::string text = ""; // a piece of the reported lines
    ReplayOptions options = {};
};

using CompareTrafficTest = testing::TestWithParam<ReplayCase>;

TEST_P(CompareTrafficTest, ReportsTheDifferences)
{
    const ReplayCase &c = GetParam();
    const ReplayReport r = compareTraffic(c.recorded, c.sent, c.options);
    std::vector<DifferenceKind> kinds;
    std::string texts;
    for (const ReplayDifference &d : r.differences) {
        kinds.push_back(d.kind);
        texts += d.text + '\n';
    }
    EXPECT_EQ(kinds, c.kinds) << texts;
    EXPECT_NE(texts.find(c.text), std::string::npos) << texts;
}

// Times count from each list's first frame, and a frame may go out a tick late; without that
// alignment a run started two ticks later is late. One odd frame in a run of equal frames is a
// change, not a missing plus an extra frame.
INSTANTIATE_TEST_SUITE_P(
    Runs, CompareTrafficTest,
    testing::Values(
        ReplayCase{frames({0, 20, 40, 48}), frames({0, 20, 40, 48}, {200, 400, 600, 800}), {}},
        ReplayCase{frames({0, 20, 40}), frames({0, 20, 40}, {0, 400, 400}), {}},
        ReplayCase{frames({0, 20}), frames({0, 20}, {400, 600}), {Timing}, "", {200, false}},
        ReplayCase{frames({0, 20, 40, 48}),
                   frames({0, 20, 30, 48}),
                   {Changed},
                   "frame #3 at 400 ms: expected FF 06 03 0A 04 28 11 80 12 00 1F 80 20 00, got FF "
                   "06 03 0A 04 1E"},
        ReplayCase{frames({48, 48, 48, 48, 48}), frames({48, 48, 40, 48, 48}), {Changed}},
        // A change reaching the line a tick late or early repeats a common frame once more or
        // less: absorbed, but never more than one frame ahead or behind, as with a timer running at
        // half or double the rate.
        ReplayCase{frames({0, 0, 20, 40, 48}), frames({0, 0, 0, 20, 40, 48}), {}},
        ReplayCase{frames({0, 0, 20, 20, 40, 40}), frames({0, 0, 0, 20, 40, 40}), {}},
        ReplayCase{frames(std::vector<int>(20, 48)), frames(std::vector<int>(10, 48), {}, 400),
                   std::vector<DifferenceKind>(9, Missing)},
        ReplayCase{frames(std::vector<int>(20, 48)), frames(std::vector<int>(40, 48), {}, 100),
                   std::vector<DifferenceKind>(19, Extra)},
        // A one-shot command goes out once: a copy too many or too few is never drift.
        ReplayCase{frames({0, 0, P, 0, 0}), frames({0, 0, 0, 0, 0}), {Changed}},
        ReplayCase{frames({0, P, 0, 0}), frames({0, P, P, 0, 0}), {Changed}},
        ReplayCase{frames({0, P, 0}), frames({0, 0}, {0, 400}), {Missing}},
        ReplayCase{frames({P, 0}), {}, {Missing, Missing}},
        // A console that stalls once shifts every later frame: one difference, not many.
        ReplayCase{frames({0, 20, 40, 60}),
                   frames({0, 20, 40, 60}, {0, 200, 1000, 1200}),
                   {Timing},
                   "frame #3 at 400 ms: sent at 1000 ms, 600 ms late\n"},
        // Long frames are cut in the text; frames sent after the recording ends are not compared.
        ReplayCase{{{0, Bytes(1031, 0x00)}},
                   {{0, Bytes(1032, 0x00)}},
                   {Changed},
                   " ... (1032 bytes) (first difference at byte 1031)\n"},
        ReplayCase{frames({0, 20, 20}), frames({0, 20, 20, 20, 20, 20}), {}}));

} // namespace
} // namespace relm
