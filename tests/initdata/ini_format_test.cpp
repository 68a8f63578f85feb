#include "initdata/ini_format.h"

#include <gtest/gtest.h>

#include <tuple>

namespace relm {
namespace {

const IniValueArray kExample{1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0};

TEST(IniWriterTest, WritesSignPositionDigitsBlankAndCrLfAndReadsItBack)
{
    EXPECT_EQ(formatIniValue(1), std::string("\x20\x31\x20\x0D\x0A", 5));
    EXPECT_EQ(formatIni(kExample), " 1 \r\n 2 \r\n 0 \r\n 1 \r\n 0 \r\n 5 \r\n 1 \r\n 1 \r\n"
                                   " 0 \r\n 0 \r\n 0 \r\n 0 \r\n"); // 60 bytes
    // The most negative value has no positive counterpart to write as digits.
    const IniValueArray extremes{-2147483647 - 1, 2147483647, 17, -1, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(parseIni(formatIni(extremes)).values, extremes);
}

// (file, values read, why reading stopped, line it stopped on, the text that is not a number)
using ReadCase = std::tuple<std::string, int, IniStop, int, std::string>;
using IniReaderTest = testing::TestWithParam<ReadCase>;

TEST_P(IniReaderTest, TakesTheExampleValuesAndSaysWhereAndWhyItStopped)
{
    const auto &[text, count, stop, line, bad] = GetParam();
    const IniValues r = parseIni(text);
    EXPECT_EQ(std::tie(r.count, r.stop, r.stopLine, r.badText), std::tie(count, stop, line, bad));
    for (std::size_t i = 0; i < kExample.size(); ++i)
        EXPECT_EQ(r.values[i], static_cast<int>(i) < r.count ? kExample[i] : 0) << i;
}

using enum IniStop;
INSTANTIATE_TEST_SUITE_P(
    Files, IniReaderTest,
    testing::Values(
        ReadCase{formatIni(kExample), 12, Complete, 12, ""},
        ReadCase{"\xEF\xBB\xBF" /* byte order mark */ "1\n2\n0\n1\n0\n5\n1\n1\n0\n0\n0\n0\n", 12,
                 Complete, 12, ""},
        ReadCase{"1\r2\r0\r1\r0\r5\r1\r1\r0\r0\r0\r0", 12, Complete, 12, ""},
        ReadCase{"\r\n \t\r\n 1 , 2\t,0,1\r\n\n0,5\r\n1\r\n1,\r\n0,0,0,+0\r\njunk,,x", 12, Complete,
                 8, ""},
        ReadCase{"", 0, EndOfFile, 1, ""},
        // CR LF ends one line, not two.
        ReadCase{" 1 \r\n 2 \r\n 0 \r\n 1 \r\n 0 \r\n", 5, EndOfFile, 6, ""},
        ReadCase{"1\r\n2\r\nabc\r\n4", 2, NotANumber, 3, "abc"},
        ReadCase{"1\n2 0\n", 1, NotANumber, 2, "2 0"},          // a blank inside a value
        ReadCase{"1,,2", 1, NotANumber, 1, ""},                 // nothing between commas
        ReadCase{"-\n", 0, NotANumber, 1, "-"},                 // a sign alone
        ReadCase{"2147483648", 0, NotANumber, 1, "2147483648"}, // past 32 bits
        ReadCase{"1\n" + std::string(100, 'x'), 1, NotANumber, 2, std::string(24, 'x')}));

} // namespace
} // namespace relm
