#include "layout_text.h"

#include <gtest/gtest.h>

#include <random>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The text of a file must rebuild exactly that file.
void expectTextRoundTrip(const Bytes &bytes)
{
    const std::string text = formatLayoutText(parseMapGeometry(bytes));
    const LayoutParseResult back = parseLayoutText(text);
    ASSERT_TRUE(back.errors.empty()) << back.errors[0].line << ": " << back.errors[0].message;
    EXPECT_EQ(serializeMapGeometry(back.geometry), bytes) << text;
    EXPECT_EQ(back.geometry.MapPolyCount, back.geometry.MapPointCount[100]);
}

TEST(LayoutTextTest, RandomFilesRoundTripByteForByte)
{
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 rng(seed);
        Bytes bytes(kMapFileSize);
        for (auto &x : bytes)
            x = static_cast<std::uint8_t>(rng());
        SCOPED_TRACE(seed);
        expectTextRoundTrip(bytes);
    }
}

// Files shaped like real maps, with the awkward values a random file rarely hits.
struct ShapeCase
{
    const char *name;
    void (*shape)(MapGeometry &);
};

class LayoutShapeTest : public testing::TestWithParam<ShapeCase>
{
};

TEST_P(LayoutShapeTest, RoundTripsByteForByte)
{
    MapGeometry g;
    GetParam().shape(g);
    expectTextRoundTrip(serializeMapGeometry(g));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, LayoutShapeTest,
    testing::Values(ShapeCase{"AllZero", [](MapGeometry &) {}},
                    ShapeCase{"NegativeN", [](MapGeometry &g) { g.MapPointCount[100] = -1; }},
                    ShapeCase{"CountAboveEleven",
                              [](MapGeometry &g) {
                                  g.MapPointCount[3] = 40;
                                  g.MapPoints[43] = {5, 6};
                              }},
                    ShapeCase{"NegativeCountWithPoints",
                              [](MapGeometry &g) {
                                  g.MapPointCount[4] = -32768;
                                  g.MapPoints[47] = {7, 8};
                              }},
                    ShapeCase{"UnusedPointsAfterTheDrawnOnes",
                              [](MapGeometry &g) {
                                  g.MapPointCount[0] = 3;
                                  g.MapPoints[10] = {-1, 0};
                              }},
                    ShapeCase{"DrawnPointsThatAreZero",
                              [](MapGeometry &g) { g.MapPointCount[99] = 11; }},
                    ShapeCase{"SpareSlot",
                              [](MapGeometry &g) {
                                  g.MapLabelPos[100] = {INT32_MIN, INT32_MAX};
                                  g.MapPoints[1110] = {9, 9};
                              }}),
    [](const testing::TestParamInfo<ShapeCase> &p) { return std::string(p.param.name); });

struct ErrorCase
{
    const char *name;
    const char *text;
    int line;
    const char *message; // part of the message that says what is wrong
};

class LayoutErrorTest : public testing::TestWithParam<ErrorCase>
{
};

TEST_P(LayoutErrorTest, NamesTheLineAndTheFault)
{
    const ErrorCase c = GetParam();
    const LayoutParseResult r = parseLayoutText(c.text);
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors[0].line, c.line);
    EXPECT_NE(r.errors[0].message.find(c.message), std::string::npos) << r.errors[0].message;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LayoutErrorTest,
    testing::Values(
        ErrorCase{"NoPolygonsLine", "poly 0 label 1,1 points 0,0 2,0\n", 0, "'polygons'"},
        ErrorCase{"UnknownKeyword", "polygons 1\npolygon 0\n", 2, "unknown keyword 'polygon'"},
        ErrorCase{"PolygonNumberTooHigh", "polygons 1\n\npoly 100 label 1,1 points\n", 3,
                  "outside 0..99"},
        ErrorCase{"SamePolygonTwice",
                  "polygons 1\npoly 4 label 1,1 points\n# again\npoly 4 label 2,2 points\n", 4,
                  "already described on line 2"},
        ErrorCase{"PolygonsTwice", "polygons 1\npolygons 2\n", 2, "already given on line 1"},
        ErrorCase{"NTooLargeForTheFile", "polygons 40000\n", 1, "outside -32768..32767"},
        ErrorCase{"TooManyPoints",
                  "polygons 1\npoly 0 label 1,1 points 1,1 2,2 3,3 4,4 5,5 6,6 7,7 8,8 9,9 "
                  "10,10 11,11 unused 12,12\n",
                  2, "12 points"},
        ErrorCase{"PointWithoutComma", "polygons 1\npoly 0 label 1,1 points 10;20\n", 2,
                  "found '10;20'"},
        ErrorCase{"CoordinateTooLarge", "polygons 1\npoly 0 label 2147483648,0 points\n", 2,
                  "32-bit range"},
        ErrorCase{"LabelMissing", "polygons 1\npoly 0 points 1,1\n", 2, "expected 'label'"},
        ErrorCase{"CountDisagreesWithPoints", "polygons 1\npoly 0 count 5 label 1,1 points 1,1\n",
                  2, "count 5 draws 5 points but 1"},
        ErrorCase{"TrailingWordAfterN", "polygons 3 4\n", 1, "unexpected '4'"},
        ErrorCase{"SpareTwice", "polygons 1\nspare label 1,1\nspare label 2,2\n", 3,
                  "already described on line 2"}),
    [](const testing::TestParamInfo<ErrorCase> &p) { return std::string(p.param.name); });

TEST(LayoutTextTest, ReportsEveryBadLineAndReadsCommentsAndCrLf)
{
    const LayoutParseResult r = parseLayoutText("polygons 2 # two\r\n"
                                                "poly 0 label 1,1 points 0,0 1,0\r\n"
                                                "poly 1 label x points\n"
                                                "\tpoly 2 label 1,1 points # none\n"
                                                "poly 120 label 1,1 points\n");
    ASSERT_EQ(r.errors.size(), 2u);
    EXPECT_EQ(r.errors[0].line, 3);
    EXPECT_EQ(r.errors[1].line, 5);
    EXPECT_EQ(r.geometry.MapPolyCount, 2);
    EXPECT_EQ(r.geometry.MapPointCount[0], 2);
}

} // namespace
} // namespace relm
