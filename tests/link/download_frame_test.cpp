#include "link/download_frame.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An image length and the frame's length field, or the length text its refusal must name.
using DownloadCase = std::tuple<std::size_t, std::uint8_t, std::uint8_t, const char *>;
using DownloadFrameTest = testing::TestWithParam<DownloadCase>;

TEST_P(DownloadFrameTest, WrapsTheImageOrRefusesOneTooLargeForThePort)
{
    const auto [length, high, low, refusal] = GetParam();
    const Bytes image(length, 0x5A);
    const DownloadBuild b = buildDownloadFrame(image);
    EXPECT_EQ(b.accepted, refusal == nullptr);
    if (refusal != nullptr) {
        EXPECT_TRUE(b.frame.empty());
        EXPECT_NE(b.refusal.find(refusal), std::string::npos) << b.refusal;
        EXPECT_NE(b.refusal.find("19,969"), std::string::npos) << b.refusal;
        return;
    }
    Bytes expected(21, 0x00);
    expected.insert(expected.end(), {0xFF, high, low});
    expected.insert(expected.end(), image.begin(), image.end());
    expected.insert(expected.end(), 7, 0x00);
    EXPECT_EQ(b.frame, expected);
}

// The length field counts the image and one zero: 255 carries into the high byte.
INSTANTIATE_TEST_SUITE_P(Images, DownloadFrameTest,
                         testing::Values(DownloadCase{0, 0x00, 0x01, nullptr},
                                         DownloadCase{255, 0x01, 0x00, nullptr},
                                         DownloadCase{1000, 0x03, 0xE9, nullptr},
                                         DownloadCase{19969, 0x4E, 0x02, nullptr},
                                         DownloadCase{19970, 0, 0, "19,970"},
                                         DownloadCase{1234567, 0, 0, "1,234,567"}));

} // namespace
} // namespace relm
