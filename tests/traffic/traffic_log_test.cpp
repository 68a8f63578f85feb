#include "traffic/traffic_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kCommand{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x14, 0x11,
                     0x80, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};

Bytes downloadFrame(std::size_t imageLength)
{
    Bytes f(21, 0x00);
    f.push_back(0xFF);
    f.push_back(static_cast<std::uint8_t>((imageLength + 1) >> 8));
    f.push_back(static_cast<std::uint8_t>((imageLength + 1) & 0xFF));
    for (std::size_t i = 0; i < imageLength; ++i)
        f.push_back(static_cast<std::uint8_t>(i));
    f.insert(f.end(), 7, 0x00);
    return f;
}

TEST(TrafficLogTest, WritesTimeDirectionHexAndSummary)
{
    EXPECT_EQ(formatLogLine(1200, Direction::ToController, kCommand),
              "1200 TX FF 06 03 0A 04 14 11 80 12 00 1F 80 20 00 | cmd X v=20 r3=0A | Y v=0 "
              "r3=80 | Z v=0 r3=80");
    EXPECT_EQ(formatLogLine(7, Direction::FromController, Bytes{}), "7 RX | short read n=0");
}

class RoundTripTest : public testing::TestWithParam<TrafficRecord>
{
};

TEST_P(RoundTripTest, ReadsBackWhatWasWritten)
{
    const TrafficRecord &r = GetParam();
    const ParsedLogLine p = parseLogLine(formatLogLine(r.ms, r.direction, r.bytes));
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.record, r);
}

INSTANTIATE_TEST_SUITE_P(
    Records, RoundTripTest,
    testing::Values(TrafficRecord{0, Direction::ToController, downloadFrame(1000)},
                    TrafficRecord{1200, Direction::ToController, kCommand},
                    TrafficRecord{1310, Direction::FromController, Bytes(24, 0x80)},
                    TrafficRecord{5, Direction::FromController, Bytes{}},
                    TrafficRecord{kMaxLogMs, Direction::FromController, Bytes{0x00, 0xFF, 0x7C}}));

struct BadLineCase
{
    const char *name;
    std::string line;
    std::string reason; // a part of the reason given
};

void PrintTo(const BadLineCase &c, std::ostream *os)
{
    *os << c.name;
}

class BadLineTest : public testing::TestWithParam<BadLineCase>
{
};

TEST_P(BadLineTest, IsRejectedWithAReason)
{
    const BadLineCase &c = GetParam();
    const ParsedLogLine p = parseLogLine(c.line);
    EXPECT_FALSE(p.ok);
    EXPECT_NE(p.error.find(c.reason), std::string::npos) << p.error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadLineTest,
    testing::Values(BadLineCase{"Empty", "", "empty line"},
                    BadLineCase{"CutShort", "1200 TX FF 06 03 0A", "cut short"},
                    BadLineCase{"CutInsideAByte", "1200 TX FF 0",
                                "byte 2 '0' is not two hex digits"},
                    BadLineCase{"NoDirection", "1200", "missing direction"},
                    BadLineCase{"WordForTime", "soon TX FF | x", "time 'soon'"},
                    BadLineCase{"NegativeTime", "-5 TX FF | x", "time '-5'"},
                    BadLineCase{"TimeBeyondLogRange", "1000000000000001 TX FF | x", "out of range"},
                    BadLineCase{"NotHex", "12 RX FF 0G | x", "byte 2 '0G'"},
                    BadLineCase{"DoubleSpace", "12 RX FF  06 | x", "byte 2 ''"},
                    BadLineCase{"SeparatorGlued", "12 RX FF 06| x", "byte 2 '06|'"}),
    [](const auto &p) { return std::string(p.param.name); });

struct GoodLineCase
{
    const char *name;
    std::string line;
    Bytes bytes;
};

void PrintTo(const GoodLineCase &c, std::ostream *os)
{
    *os << c.name;
}

class GoodLineTest : public testing::TestWithParam<GoodLineCase>
{
};

TEST_P(GoodLineTest, IsAccepted)
{
    const GoodLineCase &c = GetParam();
    const ParsedLogLine p = parseLogLine(c.line);
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.record.bytes, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GoodLineTest,
    testing::Values(GoodLineCase{"LowerCaseHex", "3 TX ff 0a | x", Bytes{0xFF, 0x0A}},
                    GoodLineCase{"WindowsLineEnd", "3 TX FF 0A | x\r", Bytes{0xFF, 0x0A}},
                    // the summary is not read, even where it disagrees with the bytes
                    GoodLineCase{"SummaryIgnored", "3 TX FF 0A | status 12 | 34 ZZ",
                                 Bytes{0xFF, 0x0A}}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(TrafficLogTest, ReadsAWholeLogAndNumbersBadLines)
{
    std::istringstream in("# console started\n"
                          "0 TX 00 00 | unknown n=2\n"
                          "\n"
                          "200 RX 01 02 | short read n=2\r\n"
                          "400 TX FF 06 03\n"
                          "600 TX FF | unknown n=1\n");
    const TrafficLog log = readTrafficLog(in);
    ASSERT_EQ(log.records.size(), 3u);
    EXPECT_EQ(log.records[0], (TrafficRecord{0, Direction::ToController, Bytes{0, 0}}));
    EXPECT_EQ(log.records[1], (TrafficRecord{200, Direction::FromController, Bytes{1, 2}}));
    EXPECT_EQ(log.records[2], (TrafficRecord{600, Direction::ToController, Bytes{0xFF}}));
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(log.errors[0].lineNumber, 5u);
}

TEST(TrafficLogWriterTest, AppendsOneLinePerFrame)
{
    std::ostringstream out;
    TrafficLogWriter writer(out);
    EXPECT_TRUE(writer.append(0, Direction::ToController, kCommand));
    EXPECT_TRUE(writer.append(35, Direction::FromController, Bytes{1, 2, 3}));
    EXPECT_EQ(out.str(), formatLogLine(0, Direction::ToController, kCommand) + '\n' +
                             "35 RX 01 02 03 | short read n=3\n");
}

TEST(TrafficLogWriterTest, RefusesATimeTheLogCannotHold)
{
    std::ostringstream out;
    TrafficLogWriter writer(out);
    EXPECT_FALSE(writer.append(-1, Direction::ToController, kCommand));
    EXPECT_FALSE(writer.append(kMaxLogMs + 1, Direction::ToController, kCommand));
    EXPECT_EQ(out.str(), "");
}

TEST(TrafficLogWriterTest, ReportsAFailedWrite)
{
    std::ostream broken(nullptr);
    TrafficLogWriter writer(broken);
    EXPECT_FALSE(writer.append(0, Direction::ToController, kCommand));
}

TEST(TrafficLogWriterTest, FileThatCannotBeOpenedFailsEveryAppend)
{
    TrafficLogWriter writer(std::filesystem::temp_directory_path() / "relm-no-such-dir" / "x.log");
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.append(0, Direction::ToController, kCommand));
}

TEST(TrafficLogWriterTest, AppendsToAnExistingFileAndIsCompleteBeforeClosing)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("relm-traffic-" + std::to_string(std::random_device{}()) + ".log");
    std::filesystem::remove(path);
    {
        TrafficLogWriter first(path);
        ASSERT_TRUE(first.isOpen());
        ASSERT_TRUE(first.append(0, Direction::ToController, downloadFrame(3)));
    }
    TrafficLogWriter second(path);
    ASSERT_TRUE(second.append(1200, Direction::ToController, kCommand));

    // Read while the second writer is still open: each line is flushed as it is written.
    std::ifstream in(path, std::ios::binary);
    const TrafficLog log = readTrafficLog(in);
    EXPECT_TRUE(log.errors.empty());
    ASSERT_EQ(log.records.size(), 2u);
    EXPECT_EQ(log.records[0].bytes, downloadFrame(3));
    EXPECT_EQ(log.records[1].bytes, kCommand);
    std::filesystem::remove(path);
}

TEST(MonitorLineTest, CutsLongFramesAndKeepsTheSummary)
{
    EXPECT_EQ(formatMonitorLine(0, Direction::ToController, downloadFrame(1000), 4),
              "0 TX 00 00 00 00 ... (1031 bytes) | download L=1000 bytes");
    EXPECT_EQ(formatMonitorLine(9, Direction::ToController, downloadFrame(0), 0),
              "9 TX ... (31 bytes) | download L=0 bytes");
    EXPECT_EQ(formatMonitorLine(1200, Direction::ToController, kCommand, kCommand.size()),
              formatLogLine(1200, Direction::ToController, kCommand));
}

} // namespace
} // namespace relm
