#include "layout_text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

// (text, bad lines, line of the first, part of what is said about it)
using ErrorCase = std::tuple<const char *, std::size_t, int, const char *>;
using LayoutErrorTest = testing::TestWithParam<ErrorCase>;

TEST_P(LayoutErrorTest, NamesEveryBadLineAndWhatIsWrongWithIt)
{
    const auto &[text, count, line, message] = GetParam();
    const LayoutParseResult r = parseLayoutText(text);
    ASSERT_EQ(r.errors.size(), count);
    EXPECT_EQ(r.errors[0].line, line);
    EXPECT_NE(r.errors[0].message.find(message), std::string::npos) << r.errors[0].message;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LayoutErrorTest,
    testing::Values(
        ErrorCase{"poly 0 label 1,1 points 0,0 2,0\n", 1, 0, "'polygons'"},
        ErrorCase{"polygons 1\npolygon 0\n", 1, 2, "unknown keyword 'polygon'"},
        ErrorCase{"polygons 1\n\npoly 100 label 1,1 points\n", 1, 3, "outside 0..99"},
        ErrorCase{"polygons 1\npoly 4 label 1,1 points\npoly 4 label 2,2 points\n", 1, 3,
                  "already described on line 2"},
        ErrorCase{"polygons 1\npolygons 2\n", 1, 2, "already given on line 1"},
        ErrorCase{"polygons 32768\n", 2, 1, "outside -32768..32767"},
        ErrorCase{"polygons 1\npoly 0 label 1,1 points 1,1 2,2 3,3 4,4 5,5 6,6 7,7 8,8 9,9 "
                  "1,1 2,2 unused 3,3\n",
                  1, 2, "12 points"},
        ErrorCase{"polygons 1\npoly 0 label 1,1 points 10;20\n", 1, 2, "found '10;20'"},
        ErrorCase{"polygons 1\npoly 0 label 2147483648,0 points\n", 1, 2, "32-bit range"},
        ErrorCase{"polygons 1\npoly 0 count 5 label 1,1 points 1,1\n", 1, 2, "5 points but 1"},
        // Comments, tabs and CR LF are read; a bad line does not stop the lines after it.
        ErrorCase{"polygons 2 # two\r\npoly 0 label 1,1 points 0,0 1,0\r\npoly 1 label x points\n"
                  "\tpoly 2 label 1,1 points # none\npoly 120 label 1,1 points\n",
                  2, 3, "found 'x'"}));

} // namespace
} // namespace relm
