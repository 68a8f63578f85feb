#include "initdata/ini_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace relm {
namespace {

const IniValueArray kExample{1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0};

TEST(IniWriterTest, OneValuePerLineWithSignPositionAndTrailingBlank)
{
    EXPECT_EQ(formatIniValue(1), std::string("\x20\x31\x20\x0D\x0A", 5));
    EXPECT_EQ(formatIniValue(0), " 0 \r\n");
    EXPECT_EQ(formatIniValue(17), " 17 \r\n");
    EXPECT_EQ(formatIniValue(-3), "-3 \r\n");
    EXPECT_EQ(formatIniValue(std::numeric_limits<std::int32_t>::min()), "-2147483648 \r\n");
}

TEST(IniWriterTest, SingleDigitFileIsSixtyBytes)
{
    const std::string file = formatIni(kExample);
    EXPECT_EQ(file.size(), 60u);
    EXPECT_EQ(file, " 1 \r\n 2 \r\n 0 \r\n 1 \r\n 0 \r\n 5 \r\n 1 \r\n 1 \r\n"
                    " 0 \r\n 0 \r\n 0 \r\n 0 \r\n");
}

TEST(IniWriterTest, WhatIsWrittenReadsBackTheSame)
{
    const IniValueArray odd{-1, 0, 3, 7, 12, -2147483647 - 1, 2147483647, 1, 0, 1, 0, 1};
    for (const IniValueArray &values : {kExample, odd}) {
        const IniValues read = parseIni(formatIni(values));
        EXPECT_EQ(read.stop, IniStop::Complete);
        EXPECT_EQ(read.count, kIniValueCount);
        EXPECT_EQ(read.values, values);
    }
}

struct ReadCase
{
    const char *name;
    std::string text;
    int count;
    IniStop stop;
    std::vector<std::int32_t> firstValues; // checked from the start
    int stopLine;
    std::string badText;
};

class IniReaderTest : public testing::TestWithParam<ReadCase>
{
};

TEST_P(IniReaderTest, TakesValuesAndSaysWhereAndWhyItStopped)
{
    const ReadCase &c = GetParam();
    const IniValues r = parseIni(c.text);
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(r.stop, c.stop);
    for (std::size_t i = 0; i < c.firstValues.size(); ++i)
        EXPECT_EQ(r.values[i], c.firstValues[i]) << "value " << i;
    for (std::size_t i = static_cast<std::size_t>(r.count); i < r.values.size(); ++i)
        EXPECT_EQ(r.values[i], 0) << "unread value " << i;
    if (c.stopLine != 0) {
        EXPECT_EQ(r.stopLine, c.stopLine);
    }
    EXPECT_EQ(r.badText, c.badText);
}

const std::vector<std::int32_t> kExampleVec(kExample.begin(), kExample.end());

INSTANTIATE_TEST_SUITE_P(
    Files, IniReaderTest,
    testing::Values(
        ReadCase{"CrLf", formatIni(kExample), 12, IniStop::Complete, kExampleVec, 0, ""},
        ReadCase{"LfOnly", "1\n2\n0\n1\n0\n5\n1\n1\n0\n0\n0\n0\n", 12, IniStop::Complete,
                 kExampleVec, 0, ""},
        ReadCase{"LoneCr", "1\r2\r0\r1\r0\r5\r1\r1\r0\r0\r0\r0", 12, IniStop::Complete, kExampleVec,
                 0, ""},
        ReadCase{"Commas", "1,2,0,1,0,5,1,1,0,0,0,0", 12, IniStop::Complete, kExampleVec, 0, ""},
        ReadCase{"CommasAndLines", " 1 , 2\t,0,1\r\n0,5\r\n1\r\n1,\r\n0,0,0,0\r\n", 12,
                 IniStop::Complete, kExampleVec, 0, ""},
        ReadCase{"EmptyLinesBetween",
                 "\r\n1\r\n\r\n2\n\n\n0\r\n1\r\n0\r\n5\r\n1\r\n1\r\n0\r\n0"
                 "\r\n0\r\n+0",
                 12, IniStop::Complete, kExampleVec, 0, ""},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF" + formatIni(kExample), 12, IniStop::Complete,
                 kExampleVec, 0, ""},
        ReadCase{"GarbageAfterTwelve", formatIni(kExample) + "junk\r\n9,,x", 12, IniStop::Complete,
                 kExampleVec, 0, ""},
        ReadCase{"Empty", "", 0, IniStop::EndOfFile, {}, 1, ""},
        ReadCase{"OnlyBlankLines", "  \r\n\t\r\n", 0, IniStop::EndOfFile, {}, 3, ""},
        ReadCase{"ShortFile",
                 " 1 \r\n 2 \r\n 0 \r\n 1 \r\n 0 \r\n",
                 5,
                 IniStop::EndOfFile,
                 {1, 2, 0, 1, 0},
                 6,
                 ""},
        ReadCase{"Word", "1\r\n2\r\nabc\r\n4", 2, IniStop::NotANumber, {1, 2}, 3, "abc"},
        ReadCase{"TwoNumbersOnALine", "1\n2 3\n", 1, IniStop::NotANumber, {1}, 2, "2 3"},
        ReadCase{"EmptyBetweenCommas", "1,,2", 1, IniStop::NotANumber, {1}, 1, ""},
        ReadCase{"SignOnly", "-\n", 0, IniStop::NotANumber, {}, 1, "-"},
        ReadCase{"Decimal", "1.5", 0, IniStop::NotANumber, {}, 1, "1.5"},
        ReadCase{"Hex", "1\n0x1", 1, IniStop::NotANumber, {1}, 2, "0x1"},
        ReadCase{"NulByte",
                 std::string("1\n\0\n", 4),
                 1,
                 IniStop::NotANumber,
                 {1},
                 2,
                 std::string(1, '\0')},
        ReadCase{"TooLargeFor32Bits", "2147483648", 0, IniStop::NotANumber, {}, 1, "2147483648"},
        ReadCase{"LongWordIsCut",
                 "1\n" + std::string(100, 'x'),
                 1,
                 IniStop::NotANumber,
                 {1},
                 2,
                 std::string(24, 'x')},
        ReadCase{"LargestNumbers",
                 "-2147483648,2147483647",
                 2,
                 IniStop::EndOfFile,
                 {-2147483647 - 1, 2147483647},
                 1,
                 ""}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(IniReaderTest, RemembersTheLineOfEachValue)
{
    const IniValues r = parseIni("1,2\r\n\r\n3\n4\r5\r\n");
    ASSERT_EQ(r.count, 5);
    EXPECT_EQ((std::vector<int>(r.lines.begin(), r.lines.begin() + 5)),
              (std::vector<int>{1, 1, 3, 4, 5}));
}

TEST(DialogValuesTest, UnreadValuesAreZeroAndOthersKeptWithinTheirField)
{
    IniValues read = parseIni("9\n8\n2\n-5\n-1\n-1\n1\n1\n3\n7\n");
    ASSERT_EQ(read.count, 10);
    EXPECT_EQ(dialogValues(read), (IniValueArray{3, 7, 1, 0, 0, 0, 1, 1, 3, 7, 0, 0}));

    read = parseIni("2\n6\nx\n");
    EXPECT_EQ(dialogValues(read), (IniValueArray{2, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

} // namespace
} // namespace relm
