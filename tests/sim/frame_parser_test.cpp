#include "sim/frame_parser.h"

#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace relm::sim {
namespace {

using test::Bytes;
using test::concat;

// Parser events as text, so whole sequences compare at once.
std::string summarise(const std::vector<ParserEvent> &events)
{
    std::string s;
    for (const ParserEvent &e : events) {
        if (const auto *f = std::get_if<RegisterFrame>(&e)) {
            s += "R" + std::to_string(f->pairs.size()) + "[";
            for (const RegisterPair &p : f->pairs)
                s += std::to_string(p.address) + "=" + std::to_string(p.value) + " ";
            s += "] ";
        } else if (const auto *d = std::get_if<DownloadFrame>(&e)) {
            s += "D" + std::to_string(d->image.size()) + " ";
        } else {
            const auto &m = std::get<MalformedInput>(e);
            s += std::string("M(") + faultName(m.fault) + ":" + std::to_string(m.bytes) + ") ";
        }
    }
    return s;
}

const Bytes kGood{0xFF, 0x01, 0x04, 0x20};
const std::string kGoodText = "R1[4=32 ] ";

struct InputCase
{
    const char *name;
    Bytes input; // a good frame follows, which must come through
    std::string expected;
};

class FrameInputTest : public testing::TestWithParam<InputCase>
{
};

// Whatever the reads look like, the same frames come out; a frame whose bytes stop coming is
// dropped once the gap has passed, and not a moment before; after a fault the next frame is found.
TEST_P(FrameInputTest, SameFramesForEveryReadSize)
{
    const Bytes &in = GetParam().input;
    for (std::size_t chunk : {1, 2, 3, 23, 24, 4096}) {
        FrameParser p;
        std::vector<ParserEvent> out;
        for (std::size_t i = 0; i < in.size(); i += chunk)
            p.feed(std::span(in).subspan(i, std::min(chunk, in.size() - i)), Time{}, out);
        const std::size_t complete = out.size();
        p.expire(kDefaultGapTimeout, out);
        EXPECT_EQ(out.size(), complete);
        p.expire(kDefaultGapTimeout + Duration{1}, out);
        p.feed(kGood, Time{60'000}, out);
        EXPECT_EQ(summarise(out), GetParam().expected + kGoodText) << "reads of " << chunk;
        EXPECT_TRUE(p.idle());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FrameInputTest,
    testing::Values(
        // The empty program image: 31 bytes.
        InputCase{"EmptyDownload", concat({Bytes(21, 0), {0xFF, 0x00, 0x01}, Bytes(7, 0)}), "D0 "},
        // 0xFF and 0x80 are values inside frames, never frame starts.
        InputCase{"SessionBackToBack",
                  concat({test::downloadFrame({0xFF, 0x00, 0x00, 0xFF, 0x12}),
                          test::registerFrame({{3, 0x80}, {2, 0x00}, {7, 0xFF}}),
                          test::registerFrame(std::vector<RegisterPair>(24, {41, 0}))}),
                  "D5 R3[3=128 2=0 7=255 ] R24[41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 "
                  "41=0 41=0 "
                  "41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 41=0 ] "},
        InputCase{"LargestImage", test::downloadFrame(Bytes(kMaxImageBytes, 0xFF)), "D19969 "},
        InputCase{"OversizeImageSwallowed", test::downloadFrame(Bytes(kMaxImageBytes + 1, 0xFF)),
                  "M(bad download:3) "},
        InputCase{"EmptyFrame", Bytes{0xFF, 0x00}, "R0[] "},
        InputCase{"CountOver24", Bytes{0xFF, 25, 1, 2, 3},
                  "M(pair count over 24:2) M(stray bytes:3) "},
        InputCase{"CountIsFrameStart", concat({{0xFF}, kGood}),
                  "M(pair count over 24:1) " + kGoodText},
        InputCase{"AddressOver41", Bytes{0xFF, 2, 3, 9, 42, 0},
                  "M(register address over 41:5) M(stray bytes:1) "},
        InputCase{"AddressIsFrameStart", concat({{0xFF, 3, 3, 9}, kGood}),
                  "M(register address over 41:4) " + kGoodText},
        InputCase{"SevenZerosAreNoPreamble", concat({Bytes(7, 0x00), kGood}),
                  "M(stray bytes:7) " + kGoodText},
        InputCase{"LengthFieldZero", Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0},
                  "M(bad download:3) "},
        InputCase{"StalledMidPair", Bytes{0xFF, 0x03, 0x04}, "M(frame cut short:3) "},
        InputCase{"StalledInImage", concat({Bytes(21, 0), {0xFF, 0, 9, 1, 2}}),
                  "M(frame cut short:5) "},
        InputCase{"TrailerNotZero", concat({Bytes(21, 0), {0xFF, 0x00, 0x02, 0x55, 0, 0}, kGood}),
                  "M(bad download:6) " + kGoodText}),
    [](const testing::TestParamInfo<InputCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
