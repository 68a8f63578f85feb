#include "sim/frame_parser.h"

#include "support.h"

#include <gtest/gtest.h>

#include <string>

namespace relm::sim {
namespace {

using test::Bytes;

// Flattens parser events into text so whole sequences compare at once.
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

std::vector<ParserEvent> parseInChunks(const Bytes &bytes, std::size_t chunk)
{
    FrameParser p;
    std::vector<ParserEvent> out;
    for (std::size_t i = 0; i < bytes.size(); i += chunk) {
        const std::size_t n = std::min(chunk, bytes.size() - i);
        p.feed(std::span(bytes).subspan(i, n), Time{}, out);
    }
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &b : parts)
        all.insert(all.end(), b.begin(), b.end());
    return all;
}

// A console's session: download, initialisation frame with absent trains (0x80 values), a
// command frame carrying the stop command 255, and a frame with 24 pairs.
Bytes session()
{
    std::vector<RegisterPair> full;
    for (int k = 0; k < 24; ++k)
        full.push_back({static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(0xFF - k)});
    return concat({test::downloadFrame({0xFF, 0x00, 0x00, 0xFF, 0x12}),
                   test::initFrame({test::kOff, test::kOff, test::kOff}),
                   test::registerFrame({{3, 0x80}, {4, 0}, {2, 0x00}, {7, 0xFF}}),
                   test::registerFrame(full)});
}

class ChunkingTest : public testing::TestWithParam<std::size_t>
{
};

TEST_P(ChunkingTest, EveryChunkingGivesTheSameFrames)
{
    const std::string expected = summarise(parseInChunks(session(), session().size()));
    EXPECT_EQ(summarise(parseInChunks(session(), GetParam())), expected);
    EXPECT_EQ(expected.substr(0, 3), "D5 ");
    EXPECT_NE(expected.find("R4[3=128 4=0 2=0 7=255 ]"), std::string::npos) << expected;
    EXPECT_NE(expected.find("R24[0=255 1=254"), std::string::npos) << expected;
}

INSTANTIATE_TEST_SUITE_P(Reads, ChunkingTest, testing::Values(1, 2, 3, 7, 23, 24, 31, 50, 4096));

TEST(DownloadTest, EmptyImageIsThe31ByteFrame)
{
    const Bytes frame = test::downloadFrame({});
    ASSERT_EQ(frame.size(), 31u);
    EXPECT_EQ(frame[21], 0xFF);
    EXPECT_EQ(frame[22], 0x00);
    EXPECT_EQ(frame[23], 0x01);
    EXPECT_EQ(summarise(parseInChunks(frame, 1)), "D0 ");
}

struct ImageSizeCase
{
    std::size_t size;
    std::uint8_t high;
    std::uint8_t low;
};

class DownloadSizeTest : public testing::TestWithParam<ImageSizeCase>
{
};

TEST_P(DownloadSizeTest, ImageComesBackWhole)
{
    Bytes image(GetParam().size);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + (i % 3 == 0 ? 0 : 0xF9)); // zeros and 0xFFs
    const Bytes frame = test::downloadFrame(image);
    EXPECT_EQ(frame[22], GetParam().high);
    EXPECT_EQ(frame[23], GetParam().low);
    FrameParser p;
    std::vector<ParserEvent> out;
    p.feed(frame, Time{}, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(std::get<DownloadFrame>(out[0]).image, image);
    EXPECT_TRUE(p.idle());
}

INSTANTIATE_TEST_SUITE_P(Sizes, DownloadSizeTest,
                         testing::Values(ImageSizeCase{1, 0x00, 0x02},
                                         ImageSizeCase{255, 0x01, 0x00},
                                         ImageSizeCase{1000, 0x03, 0xE9},
                                         ImageSizeCase{kMaxImageBytes, 0x4E, 0x02}));

struct BadInputCase
{
    const char *name;
    Bytes input;
    std::string expected; // summary, ending with what follows the fault
};

class BadInputTest : public testing::TestWithParam<BadInputCase>
{
};

TEST_P(BadInputTest, CountedThenResynchronised)
{
    for (std::size_t chunk : {std::size_t{1}, GetParam().input.size()})
        EXPECT_EQ(summarise(parseInChunks(GetParam().input, chunk)), GetParam().expected)
            << "chunk " << chunk;
}

const Bytes kGood{0xFF, 0x01, 0x04, 0x20};

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTest,
    testing::Values(
        BadInputCase{"CountOver24", concat({{0xFF, 25, 1, 2, 3}, kGood}),
                     "M(pair count over 24:2) M(stray bytes:3) R1[4=32 ] "},
        BadInputCase{"CountIsFrameStart", concat({{0xFF}, kGood}),
                     "M(pair count over 24:1) R1[4=32 ] "},
        BadInputCase{"AddressOver41", concat({{0xFF, 2, 3, 9, 42, 0}, kGood}),
                     "M(register address over 41:5) M(stray bytes:1) R1[4=32 ] "},
        BadInputCase{"AddressIsFrameStart", concat({{0xFF, 3, 3, 9}, kGood}),
                     "M(register address over 41:4) R1[4=32 ] "},
        BadInputCase{"StrayBeforeFrame", concat({{0x13, 0x00, 0x37}, kGood}),
                     "M(stray bytes:3) R1[4=32 ] "},
        BadInputCase{"ShortZeroRunIsNoPreamble", concat({Bytes(7, 0x00), kGood}),
                     "M(stray bytes:7) R1[4=32 ] "},
        BadInputCase{"EmptyFrame", concat({{0xFF, 0x00}, kGood}), "R0[] R1[4=32 ] "},
        BadInputCase{
            "ValueFFIsNoFrameStart", {0xFF, 0x02, 0x07, 0xFF, 0x04, 0xFF}, "R2[7=255 4=255 ] "},
        BadInputCase{"LengthFieldZero", concat({Bytes(8, 0x00), {0xFF, 0x00, 0x00}, kGood}),
                     "M(bad download:3) R1[4=32 ] "},
        BadInputCase{"TrailerNotZero",
                     concat({Bytes(21, 0x00), {0xFF, 0x00, 0x02, 0x55, 0x00, 0x00}, kGood}),
                     "M(bad download:6) R1[4=32 ] "}),
    [](const testing::TestParamInfo<BadInputCase> &p) { return std::string(p.param.name); });

TEST(DownloadTest, OversizeImageIsSwallowedNotReadAsFrames)
{
    // 20000 image bytes full of register frames that must not be applied.
    Bytes image;
    while (image.size() < 20000)
        image.insert(image.end(), kGood.begin(), kGood.end());
    Bytes input = test::downloadFrame(image);
    input.insert(input.end(), kGood.begin(), kGood.end());
    EXPECT_EQ(summarise(parseInChunks(input, 512)), "M(bad download:3) R1[4=32 ] ");
}

struct StallCase
{
    const char *name;
    Bytes head;
    std::string expected;
};

class StallTest : public testing::TestWithParam<StallCase>
{
};

TEST_P(StallTest, FrameStalledPastTheGapIsDropped)
{
    FrameParser p(Duration{50'000});
    std::vector<ParserEvent> out;
    p.feed(GetParam().head, Time{0}, out);
    p.feed(kGood, Time{50'000}, out); // just within the gap: still the same frame
    const std::string within = summarise(out);
    out.clear();

    FrameParser q(Duration{50'000});
    q.feed(GetParam().head, Time{0}, out);
    q.expire(Time{50'001}, out);
    q.feed(kGood, Time{60'000}, out);
    EXPECT_EQ(summarise(out), GetParam().expected);
    EXPECT_NE(within, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StallTest,
    testing::Values(StallCase{"AfterStart", {0xFF}, "M(frame cut short:1) R1[4=32 ] "},
                    StallCase{"MidPair", {0xFF, 0x03, 0x04}, "M(frame cut short:3) R1[4=32 ] "},
                    StallCase{"InImage", concat({Bytes(21, 0), {0xFF, 0x00, 0x09, 1, 2}}),
                              "M(frame cut short:5) R1[4=32 ] "},
                    StallCase{"InTrailer", concat({Bytes(21, 0), {0xFF, 0x00, 0x01, 0, 0}}),
                              "M(frame cut short:5) R1[4=32 ] "}),
    [](const testing::TestParamInfo<StallCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm::sim
