#include "line_stats.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace relm {
namespace {

LineTime at(double ms)
{
    return LineTime{} + std::chrono::duration_cast<LineClock::duration>(
                            std::chrono::duration<double, std::milli>(ms));
}

SentFrame frame(SentKind kind, double firstMs, double lastMs, std::size_t bytes = 14)
{
    SentFrame f;
    f.kind = kind;
    f.first = at(firstMs);
    f.last = at(lastMs);
    f.bytes = bytes;
    return f;
}

SentFrame command(double ms, std::size_t bytes = 14)
{
    return frame(SentKind::Command, ms, ms, bytes);
}

struct RankCase
{
    std::string name;
    std::vector<double> sorted;
    double q;
    double expected;
};

void PrintTo(const RankCase &c, std::ostream *os)
{
    *os << c.name;
}

class NearestRankTest : public testing::TestWithParam<RankCase>
{
};

TEST_P(NearestRankTest, PicksTheValueAtTheRank)
{
    EXPECT_DOUBLE_EQ(nearestRank(GetParam().sorted, GetParam().q), GetParam().expected);
}

std::vector<double> oneToHundred()
{
    std::vector<double> v;
    for (int i = 1; i <= 100; ++i)
        v.push_back(i);
    return v;
}

INSTANTIATE_TEST_SUITE_P(Ranks, NearestRankTest,
                         testing::Values(RankCase{"P99OfHundred", oneToHundred(), 99, 99},
                                         RankCase{"P100IsTheMaximum", oneToHundred(), 100, 100},
                                         RankCase{"P1OfHundred", oneToHundred(), 1, 1},
                                         RankCase{"P99OfFewIsTheMaximum", {1, 2, 3, 4}, 99, 4},
                                         RankCase{
                                             "SmallPercentileNeverBelowTheFirst", {5, 6}, 0.1, 5},
                                         RankCase{"NoValues", {}, 99, 0}),
                         [](const testing::TestParamInfo<RankCase> &p) { return p.param.name; });

TEST(SummarizeIntervals, DeviationKeepsTheSignOfTheLargest)
{
    const IntervalSummary late = summarizeIntervals({199, 200, 201, 212}, 200);
    EXPECT_EQ(late.count, 4u);
    EXPECT_DOUBLE_EQ(late.meanMs, 203);
    EXPECT_DOUBLE_EQ(late.medianMs, 200.5);
    EXPECT_DOUBLE_EQ(late.minMs, 199);
    EXPECT_DOUBLE_EQ(late.maxMs, 212);
    EXPECT_DOUBLE_EQ(late.maxDeviationMs, 12);
    EXPECT_DOUBLE_EQ(late.p99AbsDeviationMs, 12);

    // A short interval further from the period than any long one.
    const IntervalSummary early = summarizeIntervals({190, 201, 205}, 200);
    EXPECT_DOUBLE_EQ(early.maxDeviationMs, -10);
    EXPECT_DOUBLE_EQ(early.medianMs, 201);
    EXPECT_DOUBLE_EQ(early.p99AbsDeviationMs, 10);
}

TEST(SummarizeIntervals, CountsIntervalsOutsideTheLimits)
{
    // Exactly 3 and 10 ms away are still within; the counts are of both signs.
    const IntervalSummary s =
        summarizeIntervals({197, 203, 196.9, 203.5, 190, 210, 189.9, 225}, 200);
    EXPECT_EQ(s.beyond3Ms, 6u);
    EXPECT_EQ(s.beyond10Ms, 2u);
}

TEST(SummarizeIntervals, NothingToSummarize)
{
    const IntervalSummary s = summarizeIntervals({}, 200);
    EXPECT_EQ(s.count, 0u);
    EXPECT_DOUBLE_EQ(s.maxDeviationMs, 0);
}

TEST(AnalyseFrames, TimesTheStartOfTheCycleAfterTheDownload)
{
    const std::vector<SentFrame> frames{frame(SentKind::Download, 0, 100, 112),
                                        frame(SentKind::Initialisation, 1110, 1110, 26),
                                        command(2110), command(2310, 18), command(2512)};
    const LineReport r = analyseFrames(frames, 200);
    EXPECT_EQ(r.downloads, 1u);
    EXPECT_EQ(r.downloadBytes, 112u);
    // From the download's last byte, not its first.
    EXPECT_DOUBLE_EQ(r.downloadToInitialisationMs, 1010);
    EXPECT_DOUBLE_EQ(r.initialisationToCommandMs, 1000);
    EXPECT_EQ(r.commandFrames, 3u);
    ASSERT_EQ(r.intervals.count, 2u);
    EXPECT_NEAR(r.intervals.minMs, 200, 1e-6);
    EXPECT_NEAR(r.intervals.maxMs, 202, 1e-6);
    EXPECT_EQ(r.commandBytesMin, 14u);
    EXPECT_EQ(r.commandBytesMax, 18u);
    EXPECT_NEAR(r.commandBytesMean, 46.0 / 3, 1e-9);
}

TEST(AnalyseFrames, LatenessIsMeasuredAgainstTheCycleGrid)
{
    // The third frame comes 25 ms late and the fourth is back on time: one late frame, not a
    // slow period. The second cycle starts its own grid.
    const std::vector<SentFrame> frames{command(1000), command(1200),
                                        command(1425), command(1600),
                                        command(1799), frame(SentKind::Initialisation, 5000, 5000),
                                        command(6000), command(6230)};
    const LineReport r = analyseFrames(frames, 200);
    EXPECT_NEAR(r.maxLatenessMs, 30, 1e-6);
    EXPECT_NEAR(r.minLatenessMs, -1, 1e-6);
    EXPECT_EQ(r.intervals.beyond10Ms, 3u);
}

TEST(AnalyseFrames, TheGapOfAResetAndNewDownloadIsNoInterval)
{
    // Reset's last frame, then a second Transfer: the pause between the cycles is no period.
    const std::vector<SentFrame> frames{frame(SentKind::Download, 0, 0),
                                        frame(SentKind::Initialisation, 1010, 1010),
                                        command(2010),
                                        command(2210),
                                        frame(SentKind::Download, 9000, 9000),
                                        frame(SentKind::Initialisation, 10010, 10010),
                                        command(11010),
                                        command(11210)};
    const LineReport r = analyseFrames(frames, 200);
    EXPECT_EQ(r.downloads, 2u);
    EXPECT_EQ(r.initialisations, 2u);
    EXPECT_EQ(r.intervals.count, 2u);
    EXPECT_NEAR(r.intervals.maxMs, 200, 1e-6);
    // The start of the cycle is taken from the first download.
    EXPECT_NEAR(r.downloadToInitialisationMs, 1010, 1e-6);
    EXPECT_NEAR(r.initialisationToCommandMs, 1000, 1e-6);
}

TEST(AnalyseFrames, CommandFramesWithoutADownloadLeaveTheStartUnknown)
{
    const std::vector<SentFrame> frames{command(0), frame(SentKind::OtherRegister, 100, 100),
                                        command(200)};
    const LineReport r = analyseFrames(frames, 200);
    EXPECT_LT(r.downloadToInitialisationMs, 0);
    EXPECT_LT(r.initialisationToCommandMs, 0);
    EXPECT_EQ(r.otherFrames, 1u);
    EXPECT_EQ(r.intervals.count, 1u);
}

} // namespace
} // namespace relm
