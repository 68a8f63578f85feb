#include "sim/program_image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using enum ImageKey;

Bytes image(std::vector<ImageParameter> params, std::size_t cut = 0, int version = kImageVersion)
{
    Bytes b = buildImage(params, "yard");
    b.resize(b.size() - cut);
    b[8] = static_cast<std::uint8_t>(version);
    return b;
}

TEST(ProgramImageTest, TakesWhatIsUsableAndNotesTheRest)
{
    std::ifstream sample(RELM_ATCTEST_IMAGE, std::ios::binary);
    ASSERT_TRUE(sample) << RELM_ATCTEST_IMAGE;
    // Image, whether it has the header, status interval, section length, notes.
    const std::vector<std::tuple<Bytes, bool, Duration, double, std::size_t>> cases{
        {{std::istreambuf_iterator<char>(sample), {}}, true, 100ms, 1000.0, 0},
        {{0x02, 0x10, 'R', 'E', 'L', 'M'}, false, 100ms, 1000.0, 0}, // another program
        {image({{StatusIntervalMs, 200}, {SectionLengthMm, 10000}}), true, 200ms, 10000.0, 0},
        {image({{StatusIntervalMs, 50}, {SectionLengthMm, 320}}), true, 50ms, 320.0, 0},
        {image({{StatusIntervalMs, 19}, {SectionLengthMm, 1500}}), true, 100ms, 1500.0, 1},
        {image({{ImageKey{9}, 1}, {SectionLengthMm, 800}}), true, 100ms, 800.0, 1},
        {image({{SectionLengthMm, 100}, {TopSpeedMmPerS, 5000}}), true, 100ms, 1000.0, 1},
        {image({{StatusIntervalMs, 200}, {SectionLengthMm, 2000}}, 6), true, 200ms, 1000.0, 1},
        {image({{StatusIntervalMs, 200}}, 0, 2), true, 100ms, 1000.0, 1}};
    for (const auto &[bytes, header, interval, sectionLength, notes] : cases) {
        const ImageInfo info = readImage(bytes);
        EXPECT_EQ(info.hasHeader, header);
        EXPECT_EQ(info.statusInterval, interval);
        EXPECT_EQ(info.physics.sectionLengthMm, sectionLength);
        EXPECT_EQ(info.notes.size(), notes) << testing::PrintToString(info.notes);
    }
}

TEST(ProgramImageTest, OperatorIntervalWinsAndDecidesThePhysicsCheck)
{
    // At 50 ms a train stops within 320 mm; a second between status frames is too slow for it.
    const ImageInfo slow =
        readImage(image({{StatusIntervalMs, 50}, {SectionLengthMm, 320}}), 1000ms);
    EXPECT_EQ(std::tuple(slow.statusInterval, slow.physics.sectionLengthMm, slow.notes.size()),
              std::tuple(1000ms, 1000.0, 2u));
}

} // namespace
} // namespace relm::sim
