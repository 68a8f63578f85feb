#include "frame_timeline.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

LineTime at(int ms)
{
    return LineTime{} + std::chrono::milliseconds(ms);
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes downloadFrame(std::size_t imageBytes, std::size_t leadZeros = 21)
{
    Bytes f(leadZeros, 0x00);
    f.push_back(0xFF);
    f.push_back(static_cast<std::uint8_t>((imageBytes + 1) >> 8));
    f.push_back(static_cast<std::uint8_t>((imageBytes + 1) & 0xFF));
    for (std::size_t i = 0; i < imageBytes; ++i)
        f.push_back(static_cast<std::uint8_t>(i % 3 == 0 ? 0xFF : i % 3 == 1 ? 0x00 : i));
    f.insert(f.end(), 7, 0x00);
    return f;
}

const Bytes kCommon{0xFF, 0x06, 0x03, 0x02, 0x04, 0x14, 0x11,
                    0x0F, 0x12, 0x14, 0x1F, 0x30, 0x20, 0x14};
// Reset's last frame: base pairs, then train X's command register 7 with 255.
const Bytes kStop{0xFF, 0x08, 0x03, 0x02, 0x04, 0x00, 0x11, 0x0F, 0x12,
                  0x00, 0x1F, 0x30, 0x20, 0x00, 0x02, 0x01, 0x07, 0xFF};
// No train on the track.
const Bytes kInitAbsent{0xFF, 0x0C, 0x00, 0x80, 0x01, 0x80, 0x02, 0x80, 0x03,
                        0x80, 0x0E, 0x80, 0x0F, 0x80, 0x10, 0x80, 0x11, 0x80,
                        0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80};
// Twelve pairs as well, but a command frame: three point commands after the base pairs.
const Bytes kThreeCommands =
    join({{0xFF, 0x0C, 0x03, 0x02, 0x04, 0x14, 0x11, 0x0F, 0x12, 0x14, 0x1F, 0x30, 0x20, 0x14},
          {0x02, 0x01, 0x07, 0x30, 0x10, 0x0D, 0x15, 0x30, 0x1E, 0x31, 0x23, 0x30}});

const Bytes kImage1000 = downloadFrame(1000);

struct Chunk
{
    Bytes bytes;
    int ms;
};

struct Expected
{
    SentKind kind;
    int firstMs;
    int lastMs;
    std::size_t bytes;
    int pairs;
    bool wellFormed = true;
};

struct TimelineCase
{
    std::string name;
    std::vector<Chunk> chunks;
    std::vector<Expected> frames;
    std::size_t stray = 0;
    bool unfinished = false;
};

void PrintTo(const TimelineCase &c, std::ostream *os)
{
    *os << c.name;
}

class FrameTimelineTest : public testing::TestWithParam<TimelineCase>
{
};

TEST_P(FrameTimelineTest, CutsTheStreamIntoTimedFrames)
{
    const TimelineCase &c = GetParam();
    FrameTimeline timeline;
    std::vector<SentFrame> frames;
    for (const Chunk &chunk : c.chunks) {
        timeline.feed(chunk.bytes, at(chunk.ms));
        for (const SentFrame &f : timeline.take())
            frames.push_back(f);
    }
    ASSERT_EQ(frames.size(), c.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_EQ(frames[i].kind, c.frames[i].kind);
        EXPECT_EQ(frames[i].first, at(c.frames[i].firstMs));
        EXPECT_EQ(frames[i].last, at(c.frames[i].lastMs));
        EXPECT_EQ(frames[i].bytes, c.frames[i].bytes);
        if (frames[i].kind != SentKind::Download) {
            EXPECT_EQ(frames[i].pairs, c.frames[i].pairs);
        }
        EXPECT_EQ(frames[i].wellFormed, c.frames[i].wellFormed);
    }
    EXPECT_EQ(timeline.strayBytes(), c.stray);
    EXPECT_EQ(timeline.inFrame(), c.unfinished);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameTimelineTest,
    testing::Values(
        TimelineCase{"CommonCommandFrame", {{kCommon, 5}}, {{SentKind::Command, 5, 5, 14, 6}}},
        TimelineCase{"FrameSplitOverReadsKeepsItsFirstByteTime",
                     {{Bytes(kCommon.begin(), kCommon.begin() + 1), 5},
                      {Bytes(kCommon.begin() + 1, kCommon.end()), 9}},
                     {{SentKind::Command, 5, 9, 14, 6}}},
        TimelineCase{"StopValueInsideAFrameStartsNothing",
                     {{join({kStop, kCommon}), 3}},
                     {{SentKind::Command, 3, 3, 18, 8}, {SentKind::Command, 3, 3, 14, 6}}},
        TimelineCase{
            "InitialisationFrame", {{kInitAbsent, 1}}, {{SentKind::Initialisation, 1, 1, 26, 12}}},
        TimelineCase{"TwelvePairCommandFrameIsNoInitialisation",
                     {{kThreeCommands, 1}},
                     {{SentKind::Command, 1, 1, 26, 12}}},
        TimelineCase{
            "EmptyImageThenInitialisation",
            {{downloadFrame(0), 0}, {kInitAbsent, 1010}},
            {{SentKind::Download, 0, 0, 31, 0}, {SentKind::Initialisation, 1010, 1010, 26, 12}}},
        TimelineCase{"ImageFullOfFrameStartsAndZeros",
                     {{kImage1000, 0}, {kCommon, 2}},
                     {{SentKind::Download, 0, 0, 1031, 0}, {SentKind::Command, 2, 2, 14, 6}}},
        TimelineCase{"DownloadDrainingOverManyReads",
                     {{Bytes(kImage1000.begin(), kImage1000.begin() + 30), 0},
                      {Bytes(kImage1000.begin() + 30, kImage1000.end()), 1040}},
                     {{SentKind::Download, 0, 1040, 1031, 0}}},
        TimelineCase{"ShortLeadIsNoted",
                     {{downloadFrame(4, 20), 0}},
                     {{SentKind::Download, 0, 0, 34, 0, false}}},
        TimelineCase{"StrayBytesBeforeAFrame",
                     {{join({{0x12, 0x34}, kCommon}), 4}},
                     {{SentKind::Command, 4, 4, 14, 6}},
                     2},
        TimelineCase{"ZerosThatLeadNowhereAreStray",
                     {{join({{0x00, 0x00, 0x41}, kCommon}), 4}},
                     {{SentKind::Command, 4, 4, 14, 6}},
                     3},
        TimelineCase{
            "EmptyRegisterFrame", {{{0xFF, 0x00}, 7}}, {{SentKind::OtherRegister, 7, 7, 2, 0}}},
        TimelineCase{
            "FrameNotYetComplete", {{Bytes(kCommon.begin(), kCommon.end() - 1), 7}}, {}, 0, true}),
    [](const testing::TestParamInfo<TimelineCase> &p) { return p.param.name; });

} // namespace
} // namespace relm
