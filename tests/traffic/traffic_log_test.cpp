#include "traffic/traffic_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr Direction kTx = Direction::ToController;
constexpr Direction kRx = Direction::FromController;
const Bytes kCommand{0xFF, 0x06, 0x03, 0x0A, 0x04, 0x14, 0x11,
                     0x80, 0x12, 0x00, 0x1F, 0x80, 0x20, 0x00};

// A line and the bytes read from it, or words from the reason it is rejected. A line cut short by a
// crash must not pass as a shorter frame; the summary is never read.
using ParseLineTest = testing::TestWithParam<std::tuple<std::string, Bytes, std::string>>;

TEST_P(ParseLineTest, ReadsTheBytesOrGivesTheReason)
{
    const auto &[line, bytes, reason] = GetParam();
    const ParsedLogLine p = parseLogLine(line);
    EXPECT_EQ(p.ok, reason.empty());
    EXPECT_NE(p.error.find(reason), std::string::npos) << p.error;
    EXPECT_EQ(p.ok ? p.record.bytes : Bytes{}, bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseLineTest,
    testing::Values(std::tuple{"3 TX ff 0a | x", Bytes{0xFF, 0x0A}, ""},
                    std::tuple{"3 TX FF 0A | status 12 | 34 ZZ", Bytes{0xFF, 0x0A}, ""},
                    std::tuple{"", Bytes{}, "empty line"},
                    std::tuple{"1200 TX FF 06 03 0A", Bytes{}, "cut short"},
                    std::tuple{"1200 TX FF 0", Bytes{}, "byte 2 '0' is not two hex digits"},
                    std::tuple{"1200", Bytes{}, "missing direction"},
                    std::tuple{"12 tx FF | x", Bytes{}, "direction 'tx'"},
                    std::tuple{"-5 TX FF | x", Bytes{}, "time '-5'"},
                    std::tuple{"1000000000000001 TX FF | x", Bytes{}, "out of range"},
                    std::tuple{"12 RX FF 0G | x", Bytes{}, "byte 2 '0G'"},
                    std::tuple{"12 RX FF 06| x", Bytes{}, "byte 2 '06|'"}));

// Nothing is written for a time the log could not read back, and a failed write or a file that
// would not open is reported, never taken for a line written.
TEST(TrafficLogWriterTest, ReportsWhatItCouldNotWrite)
{
    std::ostringstream out;
    TrafficLogWriter writer(out);
    EXPECT_FALSE(writer.append(-1, kTx, kCommand));
    EXPECT_FALSE(writer.append(kMaxLogMs + 1, kTx, kCommand));
    EXPECT_EQ(out.str(), "");
    std::ostream broken(nullptr);
    EXPECT_FALSE(TrafficLogWriter(broken).append(0, kTx, kCommand));
    TrafficLogWriter missing(std::filesystem::temp_directory_path() / "relm-no-such-dir" / "x.log");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.append(0, kTx, kCommand));
}

// Runs append to an existing log, each line on disk as soon as it is written. Reading skips
// comments and empty lines, ignores a carriage return and numbers the lines it rejects.
TEST(TrafficLogTest, AppendsToAnExistingLogAndReadsItBack)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("relm-traffic-" + std::to_string(std::random_device{}()) + ".log");
    std::ofstream(path)
        << "# console started\r\n\r\n200 RX 01 02 | short read n=2\r\n400 TX FF 06 03\n";
    ASSERT_TRUE(TrafficLogWriter(path).append(0, kTx, kCommand));
    TrafficLogWriter second(path);
    // A note between frames, even one whose text holds a line break, never reads as a frame.
    ASSERT_TRUE(second.appendNote(5, "remote: train Y stopped\n12 TX FF 06"));
    ASSERT_TRUE(second.append(kMaxLogMs, kRx, Bytes{}));
    std::ifstream in(path, std::ios::binary);
    const TrafficLog log = readTrafficLog(in);
    std::filesystem::remove(path);
    EXPECT_EQ(log.records,
              (std::vector<TrafficRecord>{
                  {200, kRx, Bytes{1, 2}}, {0, kTx, kCommand}, {kMaxLogMs, kRx, Bytes{}}}));
    ASSERT_EQ(log.errors.size(), 1u);
    EXPECT_EQ(log.errors[0].lineNumber, 4u);
}

// A log line holds the time, the direction, the bytes and their summary. The monitor cuts the
// hex of a long frame and keeps its summary; a frame that fits shows as in the log.
TEST(TrafficLogTest, FormatsLogAndMonitorLines)
{
    EXPECT_EQ(formatLogLine(1200, kTx, kCommand),
              "1200 TX FF 06 03 0A 04 14 11 80 12 00 1F 80 20 00 | cmd X v=20 r3=0A | Y v=0 r3=80 "
              "| Z v=0 r3=80");
    EXPECT_EQ(formatLogLine(7, kRx, Bytes{}), "7 RX | short read n=0");
    const Bytes image(1031, 0x00);
    EXPECT_EQ(formatMonitorLine(0, kTx, image, 4),
              "0 TX 00 00 00 00 ... (1031 bytes) | unknown n=1031");
    EXPECT_EQ(formatMonitorLine(9, kTx, image, 0), "9 TX ... (1031 bytes) | unknown n=1031");
    EXPECT_EQ(formatMonitorLine(1200, kTx, kCommand, 14), formatLogLine(1200, kTx, kCommand));
    EXPECT_EQ(formatNoteLine(31, "a\r\nb"), "# 31 NOTE a  b");
}

} // namespace
} // namespace relm
