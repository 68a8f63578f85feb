// The WiThrottle lines as read from a throttle and written to it, without a console: line ends,
// every command form, the speed scales and the greeting.

#include "withrottle/throttle_line_reader.h"
#include "withrottle/throttle_protocol.h"

#include <gtest/gtest.h>

#include <ostream>

namespace relm {
namespace {

TEST(ThrottleSpeedTest, EveryThrottleSpeedComesBackUnchangedAndTheEndsStayFixed)
{
    EXPECT_EQ(consoleSpeedOf(0), 0);
    EXPECT_EQ(consoleSpeedOf(kThrottleTopSpeed), 128);
    EXPECT_EQ(throttleSpeedOf(0), 0);
    EXPECT_EQ(throttleSpeedOf(128), kThrottleTopSpeed);
    for (int v = 0; v <= kThrottleTopSpeed; ++v) {
        EXPECT_EQ(throttleSpeedOf(consoleSpeedOf(v)), v) << v;
        if (v > 0) {
            EXPECT_GT(consoleSpeedOf(v), consoleSpeedOf(v - 1)) << v;
        }
    }
    // The console's caution limit and every speed in between show as their nearest step.
    EXPECT_EQ(throttleSpeedOf(48), 47);
    EXPECT_EQ(throttleSpeedOf(1), 1);
    for (int c = 1; c <= 128; ++c)
        EXPECT_GE(throttleSpeedOf(c), throttleSpeedOf(c - 1)) << c;
}

// What arrives, possibly in pieces, and the lines read from it.
struct ReadCase
{
    const char *name;
    std::vector<std::string> pieces;
    std::vector<std::string> lines;
    int dropped = 0;
    std::size_t pending = 0;
};

std::ostream &operator<<(std::ostream &os, const ReadCase &c)
{
    return os << c.name;
}

class ThrottleLineReaderTest : public testing::TestWithParam<ReadCase>
{
};

TEST_P(ThrottleLineReaderTest, CutsLinesAtEveryEnding)
{
    const ReadCase &c = GetParam();
    ThrottleLineReader reader;
    std::vector<std::string> lines;
    int dropped = 0;
    for (const std::string &piece : c.pieces) {
        ThrottleLineReader::Lines read = reader.read(piece);
        lines.insert(lines.end(), read.lines.begin(), read.lines.end());
        dropped += read.dropped;
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(dropped, c.dropped);
    EXPECT_EQ(reader.pending(), c.pending);
}

const std::string kLongest(kMaxThrottleLineBytes, 'N');

INSTANTIATE_TEST_SUITE_P(
    Endings, ThrottleLineReaderTest,
    testing::Values(ReadCase{"CRLF", {"Nwit\r\nM0+S1<;>S1\r\n"}, {"Nwit", "M0+S1<;>S1"}},
                    ReadCase{"LF", {"Nwit\nQ\n"}, {"Nwit", "Q"}},
                    ReadCase{"CR", {"Nwit\rQ\r"}, {"Nwit", "Q"}},
                    ReadCase{"empty lines between", {"\r\n\r\n*\n\n\r\rQ\r\n"}, {"*", "Q"}},
                    ReadCase{"CRLF split between reads", {"*\r", "\nQ\r\n"}, {"*", "Q"}},
                    ReadCase{"a line in pieces", {"M0A", "*<;>V", "50\n"}, {"M0A*<;>V50"}},
                    ReadCase{"unfinished line kept", {"*\nM0A*<;>V"}, {"*"}, 0, 8},
                    ReadCase{"longest line", {kLongest + "\n"}, {kLongest}},
                    ReadCase{"one byte too long, dropped to its end",
                             {kLongest, "NN", std::string(5000, 'x'), "\r\nQ\n"},
                             {"Q"},
                             1},
                    ReadCase{
                        "two long lines", {kLongest + "x\n" + kLongest + "y\r*\n"}, {"*"}, 2}));

// Every command form a throttle sends, and what is read from it.
struct ParseCase
{
    std::string text;
    ThrottleLine line;
};

std::ostream &operator<<(std::ostream &os, const ParseCase &c)
{
    return os << '"' << c.text << '"';
}

ThrottleLine command(ThrottleCommand c, std::string text = {}, char state = 0)
{
    ThrottleLine line;
    line.command = c;
    line.text = std::move(text);
    line.state = state;
    return line;
}

ThrottleLine multi(ThrottleCommand c, char throttle, std::string key, std::string text = {})
{
    ThrottleLine line;
    line.command = c;
    line.throttle = throttle;
    line.key = std::move(key);
    line.text = std::move(text);
    return line;
}

ThrottleLine act(char throttle, std::string key, ThrottleAction a, int value = 0)
{
    ThrottleLine line = multi(ThrottleCommand::Action, throttle, std::move(key));
    line.action = a;
    line.value = value;
    return line;
}

class ThrottleParseTest : public testing::TestWithParam<ParseCase>
{
};

TEST_P(ThrottleParseTest, ReadsEveryForm)
{
    EXPECT_EQ(parseThrottleLine(GetParam().text), GetParam().line);
}

using C = ThrottleCommand;
using A = ThrottleAction;

INSTANTIATE_TEST_SUITE_P(
    Commands, ThrottleParseTest,
    testing::Values(
        ParseCase{"Nwit-test", command(C::Name, "wit-test")},
        ParseCase{"NPixel 7 ☃", command(C::Name, "Pixel 7 ☃")},
        ParseCase{"HUabc123", command(C::DeviceId, "abc123")},
        ParseCase{"*", command(C::Heartbeat)}, ParseCase{"*+", command(C::HeartbeatOn)},
        ParseCase{"*-", command(C::HeartbeatOff)}, ParseCase{"Q", command(C::Quit)},
        ParseCase{"PPA0", command(C::Power, {}, '0')},
        ParseCase{"PPA1", command(C::Power, {}, '1')},
        ParseCase{"PTA2PX1", command(C::Point, "PX1", '2')},
        ParseCase{"PTATPY1", command(C::Point, "PY1", 'T')},
        ParseCase{"PTACP2", command(C::Point, "P2", 'C')},
        ParseCase{"M0+S3<;>S3", multi(C::Acquire, '0', "S3", "S3")},
        ParseCase{"MT+S1<;>EX", multi(C::Acquire, 'T', "S1", "EX")},
        ParseCase{"M0-*<;>r", multi(C::Release, '0', "*")},
        ParseCase{"M1-S2<;>d", multi(C::Release, '1', "S2")},
        ParseCase{"MTSS3<;>S3", multi(C::Steal, 'T', "S3")},
        ParseCase{"M0A*<;>V50", act('0', "*", A::Speed, 50)},
        ParseCase{"M0A*<;>V126", act('0', "*", A::Speed, 126)},
        ParseCase{"M0A*<;>V-1", act('0', "*", A::Speed, -1)},
        ParseCase{"M0A*<;>V999", act('0', "*", A::Speed, 999)},
        ParseCase{"M0A*<;>X", act('0', "*", A::EStop)},
        ParseCase{"M0AS1<;>I", act('0', "S1", A::Idle)},
        ParseCase{"M0A*<;>R0", act('0', "*", A::Direction, 0)},
        ParseCase{"M0A*<;>R1", act('0', "*", A::Direction, 1)},
        ParseCase{"M0A*<;>R7", act('0', "*", A::Direction, 1)},
        ParseCase{"M0A*<;>qV", act('0', "*", A::Query, 'V')},
        ParseCase{"M0A*<;>s1", act('0', "*", A::SpeedSteps)},
        ParseCase{"M0AS1<;>F10", act('0', "S1", A::Other)},
        ParseCase{"M0AS1<;>f05", act('0', "S1", A::Other)},
        ParseCase{"M0A*<;>V", act('0', "*", A::Other)},
        ParseCase{"M0A*<;>V5x", act('0', "*", A::Other)},
        ParseCase{"M0A*<;>V1234567", act('0', "*", A::Other)},
        ParseCase{"M0A*<;>R", act('0', "*", A::Other)},
        ParseCase{"M0A*<;>X1", act('0', "*", A::Other)},
        // Never acted on: raw packets, consists, old forms, routes, and what is cut short.
        ParseCase{"D2ABCDEF", {}}, ParseCase{"RCP<:>S1", {}}, ParseCase{"TV50", {}},
        ParseCase{"PRA2IR1", {}}, ParseCase{"PPA", {}}, ParseCase{"PPA12", {}},
        ParseCase{"PTA2", {}}, ParseCase{"PTAXPX1", {}}, ParseCase{"Qx", {}}, ParseCase{"*x", {}},
        ParseCase{"HT", {}}, ParseCase{"M0+S1", {}}, ParseCase{"M0+<;>S1", {}},
        ParseCase{"M0+S1<;>", {}}, ParseCase{"M0+S1<;>S1<;>S1", {}}, ParseCase{"M0?S1<;>S1", {}},
        ParseCase{"M +S1<;>S1", {}}, ParseCase{"M", {}}, ParseCase{"", {}}));

TEST(ThrottleLinesTest, GreetsWithEverythingAThrottleNeedsBeforeItActs)
{
    EXPECT_EQ(
        greetingLines('1', {false, true, false}, 4),
        (std::vector<std::string>{"VN2.0", "RL3]\\[X}|{1}|{S]\\[Y}|{2}|{S]\\[Z}|{3}|{S", "PPA1",
                                  "PTT]\\[Turnouts}|{Turnout]\\[Closed}|{2]\\[Thrown}|{4",
                                  "PTL]\\[PX1}|{Point ahead of X}|{2]\\[PY1}|{Point ahead of Y}|{4"
                                  "]\\[PZ1}|{Point ahead of Z}|{2",
                                  "*4"}));
    EXPECT_EQ(throttleLine('0', 'A', "S1", "V50"), "M0AS1<;>V50");
    EXPECT_EQ(throttleLine('T', '+', "EX", {}), "MT+EX<;>");
    EXPECT_EQ(pointLine(2, true), "PTA4PZ1");
    EXPECT_EQ(alertLine("two\r\nlines"), "HMtwo  lines");
}

TEST(ThrottleLinesTest, NamesTrainsAndPointsSoThatACutLastCharacterKeepsThemApart)
{
    for (int t = 0; t < kThrottleTrainCount; ++t) {
        EXPECT_EQ(trainOfAddress(trainAddress(t)), t);
        EXPECT_EQ(trainOfRosterEntry(rosterEntry(t)), t);
        EXPECT_EQ(trainOfPoint(pointName(t)), t);
        for (int u = 0; u < t; ++u)
            EXPECT_NE(pointName(t).substr(0, 2), pointName(u).substr(0, 2));
    }
    for (const char *other : {"S0", "S4", "L1", "s1", "S01", "", "X"})
        EXPECT_FALSE(trainOfAddress(other)) << other;
    for (const char *other : {"Ex", "EW", "E", "X"})
        EXPECT_FALSE(trainOfRosterEntry(other)) << other;
}

} // namespace
} // namespace relm
