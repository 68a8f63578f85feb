#include "traffic/frame_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes downloadFrame(std::size_t imageLength, std::uint8_t fill = 0xA5)
{
    Bytes f(21, 0x00);
    f.push_back(0xFF);
    f.push_back(static_cast<std::uint8_t>((imageLength + 1) >> 8));
    f.push_back(static_cast<std::uint8_t>((imageLength + 1) & 0xFF));
    f.insert(f.end(), imageLength, fill);
    f.insert(f.end(), 7, 0x00);
    return f;
}

// X at 0A going 48, Y at 12 standing, Z absent: the base pairs of every command frame.
const Bytes kBase{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x30, 0x11,
                  0x12, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};

Bytes withPairs(Bytes frame, const Bytes &pairs)
{
    frame[1] = static_cast<std::uint8_t>(frame[1] + pairs.size() / 2);
    frame.insert(frame.end(), pairs.begin(), pairs.end());
    return frame;
}

Bytes statusFrame(std::size_t size)
{
    Bytes f(size, 0x00);
    const Bytes records{0x0A, 0x09, 0x0B, 0x00, 0x00, 40,   0x00, 0x00, 0x12, 0x11, 0x13, 0x00,
                        0x00, 0,    0x07, 0x00, 0x80, 0x80, 0x80, 0x00, 0x00, 0,    0x00, 0x00};
    for (std::size_t i = 0; i < size && i < records.size(); ++i)
        f[i] = records[i];
    return f;
}

struct DecodeCase
{
    const char *name;
    Direction direction;
    Bytes bytes;
    FrameKind kind;
    std::string summary;
};

void PrintTo(const DecodeCase &c, std::ostream *os)
{
    *os << c.name;
}

class DecodeFrameTest : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(DecodeFrameTest, RecognisesKindAndSummarises)
{
    const DecodeCase &c = GetParam();
    const DecodedFrame d = decodeFrame(c.direction, c.bytes);
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.summary, c.summary);
}

const auto kTx = Direction::ToController;
const auto kRx = Direction::FromController;

INSTANTIATE_TEST_SUITE_P(
    Frames, DecodeFrameTest,
    testing::Values(
        DecodeCase{"EmptyImage", kTx, downloadFrame(0), FrameKind::Download, "download L=0 bytes"},
        DecodeCase{"Image1000", kTx, downloadFrame(1000), FrameKind::Download,
                   "download L=1000 bytes"},
        // 256 as the length field: the high byte carries
        DecodeCase{"Image255", kTx, downloadFrame(255, 0x00), FrameKind::Download,
                   "download L=255 bytes"},
        DecodeCase{"InitOwnBehindNextAfter", kTx,
                   Bytes{0xFF, 0x0C, 0x00, 0x00, 0x01, 0x07, 0x02, 0x01, 0x03,
                         0x02, 0x0E, 0x2C, 0x0F, 0x2D, 0x10, 0x2B, 0x11, 0x2A,
                         0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80},
                   FrameKind::Initialisation, "init X[00 07 01 02] Y[2C 2D 2B 2A] Z[80 80 80 80]"},
        DecodeCase{"CommonCommand", kTx, kBase, FrameKind::Command,
                   "cmd X v=48 r3=0A | Y v=0 r3=12 | Z v=0 r3=80"},
        DecodeCase{"PointForY", kTx, withPairs(kBase, {0x10, 0x09, 0x15, 0x30}), FrameKind::Command,
                   "cmd X v=48 r3=0A | Y v=0 r3=12 cmd=30(point) r2=09 | Z v=0 r3=80"},
        DecodeCase{
            "ReversalForZ", kTx, withPairs(kBase, {0x1C, 0x29, 0x1D, 0x2A, 0x1E, 0x28, 0x1F, 0x2F}),
            FrameKind::Command, "cmd X v=48 r3=0A | Y v=0 r3=12 | Z v=0 r3=80 rev=[29 2A 28 2F]"},
        // 255 is also the frame start byte; it must still read as the value of register 7
        DecodeCase{"StopFromReset", kTx, withPairs(kBase, {0x02, 0x09, 0x07, 0xFF}),
                   FrameKind::Command,
                   "cmd X v=48 r3=0A cmd=FF(stop) r2=09 | Y v=0 r3=12 | Z v=0 r3=80"},
        DecodeCase{"CommandAndReversalTogether", kTx,
                   withPairs(kBase, {0x10, 0x0C, 0x15, 0x30, 0x0E, 0x2B, 0x0F, 0x2C, 0x10, 0x2A,
                                     0x11, 0x29}),
                   FrameKind::Command,
                   "cmd X v=48 r3=0A | Y v=0 r3=12 cmd=30(point) r2=0C rev=[2B 2C 2A 29] | Z v=0 "
                   "r3=80"},
        DecodeCase{"RegistersNoTrainOwns", kTx,
                   Bytes{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x30, 0x05, 0x01, 0x2A, 0x05, 0xFF, 0x00,
                         0x07, 0x33},
                   FrameKind::Command, "cmd X v=48 r3=0A r5=01 cmd=33 | other 2A=05 FF=00"},
        DecodeCase{"StatusWithAbsentTrain", kRx, statusFrame(24), FrameKind::Status,
                   "status X 0A/09/0B v=40 | Y 12/11/13 v=0 | Z absent"},
        DecodeCase{"StatusOf23Bytes", kRx, statusFrame(23), FrameKind::Status,
                   "status X 0A/09/0B v=40 | Y 12/11/13 v=0 | Z absent"},
        DecodeCase{"StatusWithTrailingBytes", kRx, statusFrame(30), FrameKind::Status,
                   "status X 0A/09/0B v=40 | Y 12/11/13 v=0 | Z absent | +6 more bytes"},
        // only exactly 128 is absent
        DecodeCase{"StatusCodeAbove128", kRx,
                   Bytes{0x81, 0x80, 0xFF, 0, 0,    200, 0, 0, 0x80, 0, 0, 0,
                         0,    0,    0,    0, 0x80, 0,   0, 0, 0,    0, 0},
                   FrameKind::Status, "status X 81/80/FF v=200 | Y absent | Z absent"},
        DecodeCase{"ShortRead", kRx, Bytes{1, 2, 3, 4, 5}, FrameKind::ShortRead, "short read n=5"},
        DecodeCase{"ShortReadOf22", kRx, statusFrame(22), FrameKind::ShortRead, "short read n=22"},
        DecodeCase{"EmptyRead", kRx, Bytes{}, FrameKind::ShortRead, "short read n=0"},
        DecodeCase{"NothingSent", kTx, Bytes{}, FrameKind::Unknown, "unknown n=0"},
        DecodeCase{"TooFewPairs", kTx, Bytes{0xFF, 0x03, 0, 0, 1, 0, 2, 0}, FrameKind::Unknown,
                   "unknown n=8"},
        DecodeCase{"CountLongerThanFrame", kTx, Bytes{0xFF, 0x07, 0x03, 0x0A, 0x04, 0x30},
                   FrameKind::Unknown, "unknown n=6"},
        DecodeCase{"BytesAfterTheLastPair", kTx, withPairs(kBase, {0x03}), FrameKind::Unknown,
                   "unknown n=15"},
        DecodeCase{"TwentyFivePairs", kTx, Bytes(52, 0xFF), FrameKind::Unknown, "unknown n=52"}),
    [](const auto &p) { return std::string(p.param.name); });

// Corruptions of a download frame that must not pass as one.
struct BrokenDownloadCase
{
    const char *name;
    std::size_t index; // byte to change; counted from the end when fromEnd
    bool fromEnd;
    std::uint8_t value;
};

class BrokenDownloadTest : public testing::TestWithParam<BrokenDownloadCase>
{
};

TEST_P(BrokenDownloadTest, IsUnknown)
{
    const BrokenDownloadCase &c = GetParam();
    Bytes f = downloadFrame(100);
    f[c.fromEnd ? f.size() - 1 - c.index : c.index] = c.value;
    EXPECT_EQ(decodeFrame(Direction::ToController, f).kind, FrameKind::Unknown);
}

INSTANTIATE_TEST_SUITE_P(Corruptions, BrokenDownloadTest,
                         testing::Values(BrokenDownloadCase{"LeadingByte", 0, false, 0x01},
                                         BrokenDownloadCase{"StartByte", 21, false, 0xFE},
                                         BrokenDownloadCase{"LengthCountsImageOnly", 23, false,
                                                            100},
                                         BrokenDownloadCase{"LastTrailingZero", 0, true, 0x01}),
                         [](const auto &p) { return std::string(p.param.name); });

TEST(DecodeFrameTest, LengthFieldOfZeroIsNoDownload)
{
    Bytes f(30, 0x00);
    f[21] = 0xFF;
    EXPECT_EQ(decodeFrame(Direction::ToController, f).kind, FrameKind::Unknown);
}

// Every cut of a valid frame must be read as something else, never as a shorter valid frame.
TEST(DecodeFrameTest, NoProperPrefixOfAFrameIsRecognised)
{
    const std::vector<Bytes> frames{
        downloadFrame(50), kBase,
        withPairs(kBase, {0x1C, 0x29, 0x1D, 0x2A, 0x1E, 0x28, 0x1F, 0x2F})};
    for (const Bytes &frame : frames) {
        const FrameKind whole = decodeFrame(Direction::ToController, frame).kind;
        ASSERT_NE(whole, FrameKind::Unknown);
        for (std::size_t n = 0; n < frame.size(); ++n) {
            const Bytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(decodeFrame(Direction::ToController, prefix).kind, FrameKind::Unknown)
                << "prefix of " << n << " bytes";
        }
    }
}

// Random blocks, with the frame start and a plausible count planted often, in both directions.
TEST(DecodeFrameTest, AnyBytesGiveAOneLineSummary)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 5000; ++round) {
        Bytes b(random() % 64);
        for (std::uint8_t &x : b)
            x = static_cast<std::uint8_t>(random());
        if (b.size() >= 2 && round % 2 == 0) {
            b[0] = 0xFF;
            b[1] = static_cast<std::uint8_t>((b.size() - 2) / 2);
        }
        for (const Direction d : {Direction::ToController, Direction::FromController}) {
            const DecodedFrame f = decodeFrame(d, b);
            ASSERT_FALSE(f.summary.empty());
            ASSERT_EQ(f.summary.find('\n'), std::string::npos);
        }
    }
}

TEST(HexBytesTest, TwoUpperCaseDigitsPerByte)
{
    EXPECT_EQ(hexBytes(Bytes{0x05, 0x80, 0x1F, 0x00, 0xFF}), "05 80 1F 00 FF");
    EXPECT_EQ(hexBytes(Bytes{}), "");
}

} // namespace
} // namespace relm
