#include "traffic/frame_decoder.h"

#include "link/download_frame.h"

#include <gtest/gtest.h>

#include <random>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

using enum FrameKind;

constexpr Direction kTx = Direction::ToController;
constexpr Direction kRx = Direction::FromController;

// An image of zeros, the hardest to tell from the zeros around it.
Bytes download(std::size_t imageLength)
{
    return buildDownloadFrame(Bytes(imageLength, 0x00)).frame;
}

Bytes changed(Bytes f, std::size_t i, std::uint8_t v)
{
    f[i] = v;
    return f;
}

// X at 0A going 48, Y at 12 standing, Z absent, then the extra pairs.
Bytes command(const Bytes &pairs)
{
    Bytes f{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x30, 0x11, 0x12, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};
    f[1] = static_cast<std::uint8_t>(f[1] + pairs.size() / 2);
    f.insert(f.end(), pairs.begin(), pairs.end());
    return f;
}

// X 0A/09/0B at 40, Y 12/11/13 standing, Z absent, cut or padded to n bytes.
Bytes status(std::size_t n)
{
    Bytes f{0x0A, 0x09, 0x0B, 0, 0, 40, 0, 0, 0x12, 0x11, 0x13, 0, 0, 0, 7, 0, 0x80, 0x80, 0x80};
    f.resize(n, 0x00);
    return f;
}

using DecodeTest = testing::TestWithParam<std::tuple<Direction, Bytes, FrameKind, std::string>>;

TEST_P(DecodeTest, RecognisesTheFrameAndSummarisesIt)
{
    const auto &[direction, bytes, kind, summary] = GetParam();
    const DecodedFrame d = decodeFrame(direction, bytes);
    EXPECT_EQ(d.kind, kind);
    EXPECT_EQ(d.summary, summary);
}

const std::string kCmd = "cmd X v=48 r3=0A | Y v=0 r3=12";
const std::string kStatus = "status X 0A/09/0B v=40 | Y 12/11/13 v=0 | Z absent";

// An image of 255 bytes carries into the length field's high byte. Registers no train owns, and
// lone writes, are shown as they are. Only exactly 128 is an absent train. Then too few pairs,
// too many, a byte after the last pair, a wrong start byte, a length field counting the image
// only, and a field of 0 in a frame one byte short, which must not wrap the image length.
INSTANTIATE_TEST_SUITE_P(
    Frames, DecodeTest,
    testing::Values(
        std::tuple{kTx, download(255), Download, "download L=255 bytes"},
        std::tuple{kTx, Bytes{0xFF, 0x0C, 0x00, 0x00, 0x01, 0x07, 0x02, 0x01, 0x03,
                              0x02, 0x0E, 0x2C, 0x0F, 0x2D, 0x10, 0x2B, 0x11, 0x2A,
                              0x1C, 0x80, 0x1D, 0x80, 0x1E, 0x80, 0x1F, 0x80},
                   Initialisation, "init X[00 07 01 02] Y[2C 2D 2B 2A] Z[80 80 80 80]"},
        std::tuple{kTx, command({0x10, 0x09, 0x15, 0x30}), Command,
                   kCmd + " cmd=30(point) r2=09 | Z v=0 r3=80"},
        std::tuple{kTx, command({0x1C, 0x29, 0x1D, 0x2A, 0x1E, 0x28, 0x1F, 0x2F}), Command,
                   kCmd + " | Z v=0 r3=80 rev=[29 2A 28 2F]"},
        std::tuple{kTx, Bytes{0xFF, 6, 3, 0x0A, 4, 0x30, 5, 1, 0x2A, 5, 0xFF, 0, 7, 0x33}, Command,
                   "cmd X v=48 r3=0A r5=01 cmd=33 | other 2A=05 FF=00"},
        std::tuple{kRx, status(23), Status, kStatus},
        std::tuple{kRx, status(24), Status, kStatus},
        // The largest frame the cycle builds: a command and a reversal for every train.
        std::tuple{kTx,
                   command({0x02, 0x0B, 0x07, 0x20, 0x10, 0x13, 0x15, 0x30, 0x1E, 0x80, 0x23, 0xFF,
                            0x00, 0x29, 0x01, 0x2A, 0x02, 0x28, 0x03, 0x2F, 0x0E, 0x31, 0x0F, 0x32,
                            0x10, 0x30, 0x11, 0x37, 0x1C, 0x21, 0x1D, 0x22, 0x1E, 0x20, 0x1F, 0x27}),
                   Command,
                   "cmd X v=48 r3=0A cmd=20(passed) r2=0B rev=[29 2A 28 2F] | Y v=0 r3=12 "
                   "cmd=30(point) r2=13 rev=[31 32 30 37] | Z v=0 r3=80 cmd=FF(stop) r2=80 "
                   "rev=[21 22 20 27]"},
        std::tuple{kRx, changed(status(30), 0, 0x81), Status,
                   "status X 81/09/0B v=40 | Y 12/11/13 v=0 | Z absent | +6 more bytes"},
        std::tuple{kRx, status(22), ShortRead, "short read n=22"},
        std::tuple{kTx, Bytes{0xFF, 5, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0}, Unknown, "unknown n=12"},
        std::tuple{kTx, command(Bytes(38, 0x00)), Unknown, "unknown n=52"},
        std::tuple{kTx, command({0x03}), Unknown, "unknown n=15"},
        std::tuple{kTx, changed(download(100), 21, 0xFE), Unknown, "unknown n=131"},
        std::tuple{kTx, changed(download(100), 23, 100), Unknown, "unknown n=131"},
        std::tuple{kTx, changed(Bytes(30, 0x00), 21, 0xFF), Unknown, "unknown n=30"}));

// Every cut of a frame is read as something else, never as a shorter frame.
TEST(DecodeFrameTest, NoProperPrefixOfAFrameIsRecognised)
{
    for (const Bytes &frame : {download(50), command({0x1C, 0x29, 0x1D, 0x2A})}) {
        ASSERT_NE(decodeFrame(kTx, frame).kind, Unknown);
        for (std::size_t n = 0; n < frame.size(); ++n) {
            const Bytes prefix(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
            EXPECT_EQ(decodeFrame(kTx, prefix).kind, Unknown) << n << " bytes";
        }
    }
}

// Random blocks, half of them behind a frame start and a pair count, read both ways.
TEST(DecodeFrameTest, AnyBytesGiveAOneLineSummary)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 5000; ++round) {
        Bytes b(random() % 64);
        for (std::uint8_t &x : b)
            x = static_cast<std::uint8_t>(random());
        if (round % 2 == 0)
            b.insert(b.begin(), {0xFF, static_cast<std::uint8_t>(b.size() / 2)});
        for (const Direction d : {kTx, kRx}) {
            const std::string summary = decodeFrame(d, b).summary;
            ASSERT_FALSE(summary.empty());
            ASSERT_EQ(summary.find('\n'), std::string::npos);
        }
    }
}

} // namespace
} // namespace relm
