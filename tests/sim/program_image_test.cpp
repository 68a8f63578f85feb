#include "sim/program_image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

TEST(Crc32Test, KnownValues)
{
    EXPECT_EQ(crc32(Bytes{}), 0x00000000u);
    EXPECT_EQ(crc32(bytesOf("123456789")), 0xCBF43926u);
    EXPECT_EQ(crc32(Bytes(32, 0x00)), 0x190A55ADu);
}

struct ImageCase
{
    const char *name;
    Bytes image;
    bool hasHeader;
    Duration interval;
    double sectionLength;
    std::size_t notes;
    std::string title;
};

class ReadImageTest : public testing::TestWithParam<ImageCase>
{
};

TEST_P(ReadImageTest, TakesWhatIsUsableAndNotesTheRest)
{
    const ImageInfo info = readImage(GetParam().image);
    EXPECT_EQ(info.hasHeader, GetParam().hasHeader);
    EXPECT_EQ(info.statusInterval, GetParam().interval);
    EXPECT_EQ(info.physics.sectionLengthMm, GetParam().sectionLength);
    EXPECT_EQ(info.notes.size(), GetParam().notes);
    EXPECT_EQ(info.title, GetParam().title);
}

Bytes image(std::vector<ImageParameter> params, const std::string &title = "")
{
    return buildImage(params, title);
}

Bytes cutShort()
{
    Bytes b = image({{ImageKey::StatusIntervalMs, 200}, {ImageKey::SectionLengthMm, 2000}});
    b.resize(b.size() - 1);
    return b;
}

Bytes wrongVersion()
{
    Bytes b = image({{ImageKey::StatusIntervalMs, 200}});
    b[8] = 2;
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadImageTest,
    testing::Values(
        ImageCase{"Empty", {}, false, 100ms, 1000.0, 0, ""},
        ImageCase{"Foreign", bytesOf("\x02\x10 some other program"), false, 100ms, 1000.0, 0, ""},
        ImageCase{
            "Parameters",
            image({{ImageKey::StatusIntervalMs, 200}, {ImageKey::SectionLengthMm, 1500}}, "yard"),
            true, 200ms, 1500.0, 0, "yard"},
        ImageCase{"OutOfRange", image({{ImageKey::StatusIntervalMs, 5}}), true, 100ms, 1000.0, 1,
                  ""},
        ImageCase{"UnknownKey", image({{ImageKey{9}, 1}, {ImageKey::SectionLengthMm, 800}}), true,
                  100ms, 800.0, 1, ""},
        ImageCase{"OverrunningPhysics",
                  image({{ImageKey::SectionLengthMm, 100}, {ImageKey::TopSpeedMmPerS, 5000}}), true,
                  100ms, 1000.0, 1, ""},
        ImageCase{"CutShort", cutShort(), true, 200ms, 1000.0, 1, ""},
        ImageCase{"WrongVersion", wrongVersion(), true, 100ms, 1000.0, 1, ""}),
    [](const testing::TestParamInfo<ImageCase> &p) { return std::string(p.param.name); });

TEST(ReadImageTest, OperatorIntervalWinsAndDecidesThePhysicsCheck)
{
    const Bytes b = image({{ImageKey::StatusIntervalMs, 50}, {ImageKey::SectionLengthMm, 320}});
    // At 50 ms a train stops within 320 mm; a second between status frames is too slow for it.
    EXPECT_EQ(readImage(b).physics.sectionLengthMm, 320.0);
    const ImageInfo slow = readImage(b, 1000ms);
    EXPECT_EQ(slow.statusInterval, 1000ms);
    EXPECT_EQ(slow.physics.sectionLengthMm, 1000.0);
    EXPECT_EQ(slow.notes.size(), 2u);
}

TEST(SampleImageTest, AtcTestImageCarriesTheDocumentedParameters)
{
    std::ifstream f(RELM_ATCTEST_IMAGE, std::ios::binary);
    ASSERT_TRUE(f) << RELM_ATCTEST_IMAGE;
    const Bytes b{std::istreambuf_iterator<char>(f), {}};
    EXPECT_LE(b.size(), 19969u);
    const ImageInfo info = readImage(b);
    EXPECT_TRUE(info.hasHeader);
    EXPECT_TRUE(info.notes.empty());
    EXPECT_EQ(info.statusInterval, 100ms);
    const Physics defaults;
    EXPECT_EQ(info.physics.sectionLengthMm, defaults.sectionLengthMm);
    EXPECT_EQ(info.physics.topSpeedMmPerS, defaults.topSpeedMmPerS);
    EXPECT_EQ(info.physics.accelerationPerS, defaults.accelerationPerS);
    EXPECT_EQ(info.physics.brakingPerS, defaults.brakingPerS);
    EXPECT_EQ(info.title.rfind("RELM ATC test program", 0), 0u);
}

} // namespace
} // namespace relm::sim
