#include "link/download_frame.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An image whose bytes differ from their neighbours and are never all zero.
Bytes image(std::size_t length)
{
    Bytes b(length);
    for (std::size_t i = 0; i < length; ++i)
        b[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return b;
}

TEST(DownloadFrameTest, EmptyImageIsTheBareFrame)
{
    Bytes expected(21, 0x00);
    expected.insert(expected.end(), {0xFF, 0x00, 0x01});
    expected.insert(expected.end(), 7, 0x00);
    const DownloadBuild b = buildDownloadFrame({});
    EXPECT_TRUE(b.accepted);
    EXPECT_EQ(b.frame, expected);
}

struct LengthCase
{
    std::size_t length;
    std::uint8_t high;
    std::uint8_t low;
};

using DownloadLengthTest = testing::TestWithParam<LengthCase>;

TEST_P(DownloadLengthTest, CarriesTheImageBetweenHeaderAndSevenZeros)
{
    const LengthCase &c = GetParam();
    const Bytes img = image(c.length);
    const DownloadBuild b = buildDownloadFrame(img);
    ASSERT_TRUE(b.accepted);
    EXPECT_TRUE(b.refusal.empty());
    ASSERT_EQ(b.frame.size(), c.length + 31);
    EXPECT_EQ(Bytes(b.frame.begin(), b.frame.begin() + 21), Bytes(21, 0x00));
    EXPECT_EQ(b.frame[21], 0xFF);
    EXPECT_EQ(b.frame[22], c.high);
    EXPECT_EQ(b.frame[23], c.low);
    EXPECT_EQ(Bytes(b.frame.begin() + 24, b.frame.end() - 7), img);
    EXPECT_EQ(Bytes(b.frame.end() - 7, b.frame.end()), Bytes(7, 0x00));
}

INSTANTIATE_TEST_SUITE_P(Images, DownloadLengthTest,
                         testing::Values(LengthCase{1, 0x00, 0x02}, LengthCase{254, 0x00, 0xFF},
                                         LengthCase{255, 0x01, 0x00}, LengthCase{1000, 0x03, 0xE9},
                                         LengthCase{19969, 0x4E, 0x02}));

using DownloadRefusalTest = testing::TestWithParam<std::pair<std::size_t, const char *>>;

TEST_P(DownloadRefusalTest, RefusesAnImageTooLargeForTheTransmitBufferNamingItsLength)
{
    const DownloadBuild b = buildDownloadFrame(image(GetParam().first));
    EXPECT_FALSE(b.accepted);
    EXPECT_TRUE(b.frame.empty());
    EXPECT_NE(b.refusal.find(GetParam().second), std::string::npos) << b.refusal;
    EXPECT_NE(b.refusal.find("19,969"), std::string::npos) << b.refusal;
}

// Just over the buffer, beyond 16-bit frame positions, and beyond the length field.
INSTANTIATE_TEST_SUITE_P(Images, DownloadRefusalTest,
                         testing::Values(std::pair{19970, "19,970"}, std::pair{32744, "32,744"},
                                         std::pair{65535, "65,535"},
                                         std::pair{1234567, "1,234,567"}));

} // namespace
} // namespace relm
