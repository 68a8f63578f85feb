#include "sim/line_faults.h"

#include <gtest/gtest.h>

#include <bit>
#include <numeric>

namespace relm::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct SettingsCase
{
    const char *text;
    const char *written; // describe() of the parsed settings; nullptr when the text is refused
};
using FaultSettingsTest = testing::TestWithParam<SettingsCase>;

TEST_P(FaultSettingsTest, ParsesWhatItCanWriteBackAndRefusesTheRest)
{
    const SettingsCase &c = GetParam();
    const FaultSettingsParse parsed = parseFaultSettings(c.text);
    if (c.written == nullptr) {
        EXPECT_FALSE(parsed.error.empty()) << c.text;
        return;
    }
    ASSERT_EQ(parsed.error, "") << c.text;
    EXPECT_EQ(describe(parsed.settings), c.written);
    // The written form reads back as the same settings.
    EXPECT_EQ(describe(parseFaultSettings(describe(parsed.settings)).settings), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FaultSettingsTest,
    testing::Values(SettingsCase{"none", "none"}, SettingsCase{"1e-5", "bit=1e-05,drop=1e-05,dup=1e-05"},
                    SettingsCase{"bit=1e-5,drop=2e-5,dup=1e-6,outage=1/3600:2s",
                             "bit=1e-05,drop=2e-05,dup=1e-06,outage=1/3600:2000ms"},
                    SettingsCase{"outage=2/60:0.3s,dir=status,seed=9",
                             "outage=2/60:300ms,dir=status,seed=9"},
                    SettingsCase{"outage=7/6:03000s", "outage=7/6:3000000ms"},
                    SettingsCase{"drop=0.5,dir=commands", "drop=0.5,dir=commands"},
                    SettingsCase{"", nullptr}, SettingsCase{"bit", nullptr}, SettingsCase{"bit=2", nullptr},
                    SettingsCase{"bit=-1e-5", nullptr}, SettingsCase{"bit=1e-5,bit=1e-4", nullptr},
                    SettingsCase{"bit=1e-5,", nullptr}, SettingsCase{"flip=1e-5", nullptr},
                    SettingsCase{"outage=1/3600", nullptr}, SettingsCase{"outage=1/3600:2", nullptr},
                    SettingsCase{"outage=0/3600:2s", nullptr},
                    SettingsCase{"outage=1/60:0.5ms", nullptr}, SettingsCase{"outage=1:2s/3", nullptr},
                    SettingsCase{"dir=up", nullptr}, SettingsCase{"seed=x", nullptr},
                    SettingsCase{"bit=nan", nullptr}, SettingsCase{"dup=1e-6,1e-5", nullptr},
                    SettingsCase{"1e-5,bit=1e-4", nullptr}));

Bytes counting(std::size_t n)
{
    Bytes b(n);
    std::iota(b.begin(), b.end(), std::uint8_t{0});
    return b;
}

TEST(LineFaultsTest, APerfectLinePassesEverythingAndDrawsNothing)
{
    LineFaults line(FaultSettings{}, 1);
    Bytes b = counting(5000);
    line.damage(LineDirection::ToConsole, Time{0}, b);
    EXPECT_EQ(b, counting(5000));
    EXPECT_EQ(line.copies(LineDirection::ToController, 14), 1);
    EXPECT_EQ(line.counts(LineDirection::ToConsole).bytes, 5000u);
    EXPECT_EQ(line.counts(LineDirection::ToConsole).damaged(), 0u);
}

// 200,000 bytes at 1e-3 each: about 200 faults of each kind, in the direction that suffers only.
TEST(LineFaultsTest, FlipsOneBitOfAByteAtTheGivenRate)
{
    LineFaults line(parseFaultSettings("bit=1e-3,dir=status").settings, 7);
    const Bytes sent = counting(200'000);
    Bytes got = sent;
    line.damage(LineDirection::ToConsole, Time{0}, got);
    ASSERT_EQ(got.size(), sent.size());
    std::uint64_t flipped = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const unsigned diff = got[i] ^ sent[i];
        EXPECT_LE(std::popcount(diff), 1) << "byte " << i;
        flipped += diff != 0 ? 1 : 0;
    }
    EXPECT_EQ(flipped, line.counts(LineDirection::ToConsole).bitErrors);
    EXPECT_NEAR(static_cast<double>(flipped), 200.0, 60.0);

    Bytes commands = sent;
    line.damage(LineDirection::ToController, Time{0}, commands);
    EXPECT_EQ(commands, sent);
}

TEST(LineFaultsTest, LosesSingleBytesAtTheGivenRateAndKeepsTheRestInOrder)
{
    LineFaults line(parseFaultSettings("drop=1e-3").settings, 7);
    const Bytes sent = counting(200'000);
    Bytes got = sent;
    line.damage(LineDirection::ToController, Time{0}, got);
    const std::uint64_t dropped = line.counts(LineDirection::ToController).dropped;
    EXPECT_EQ(got.size(), sent.size() - dropped);
    EXPECT_NEAR(static_cast<double>(dropped), 200.0, 60.0);
    std::size_t i = 0;
    for (const std::uint8_t b : got) {
        while (i < sent.size() && sent[i] != b)
            ++i;
        ASSERT_LT(i++, sent.size()) << "a byte that was never sent";
    }
}

TEST(LineFaultsTest, SendsAFrameTwiceWithAChanceGrowingWithItsLength)
{
    LineFaults line(parseFaultSettings("dup=1e-3").settings, 3);
    int twice = 0;
    for (int i = 0; i < 10'000; ++i)
        twice += line.copies(LineDirection::ToConsole, 24) - 1;
    EXPECT_EQ(line.counts(LineDirection::ToConsole).duplicated, static_cast<std::uint64_t>(twice));
    EXPECT_NEAR(twice, 240, 60); // 24 bytes × 1e-3 per frame
}

// One two-second outage every ten seconds on average: about a sixth of the time the line is
// dead in both directions, and whatever leaves the line then is lost whole.
TEST(LineFaultsTest, LosesEveryByteDuringAnOutage)
{
    LineFaults line(parseFaultSettings("outage=1/10:2s").settings, 11);
    int lost = 0;
    constexpr int kSeconds = 2000;
    for (int ms = 0; ms < kSeconds * 1000; ms += 10) {
        Bytes b{1, 2, 3};
        line.damage(ms % 20 == 0 ? LineDirection::ToConsole : LineDirection::ToController,
                    Time{std::chrono::milliseconds(ms)}, b);
        EXPECT_TRUE(b.empty() || b.size() == 3u);
        lost += b.empty() ? 1 : 0;
    }
    EXPECT_NEAR(static_cast<double>(line.outages()), kSeconds / 12.0, 40.0);
    EXPECT_NEAR(lost / (kSeconds * 100.0), 2.0 / 12.0, 0.03);
}

// An outage on one direction only: the status frames go dark, and not one byte to the controller
// is lost however many outages pass; the other way round the reverse holds.
TEST(LineFaultsTest, AnOutageDarkensOnlyTheDirectionItIsGiven)
{
    for (const bool statusOnly : {true, false}) {
        SCOPED_TRACE(statusOnly ? "dir=status" : "dir=commands");
        const char *settings =
            statusOnly ? "outage=1/10:2s,dir=status" : "outage=1/10:2s,dir=commands";
        LineFaults line(parseFaultSettings(settings).settings, 11);
        const LineDirection spared =
            statusOnly ? LineDirection::ToController : LineDirection::ToConsole;
        const LineDirection dark =
            statusOnly ? LineDirection::ToConsole : LineDirection::ToController;
        int lostDark = 0;
        for (int ms = 0; ms < 600'000; ms += 10) {
            const Time at{std::chrono::milliseconds(ms)};
            Bytes toSpared{1, 2, 3};
            line.damage(spared, at, toSpared);
            ASSERT_EQ(toSpared, (Bytes{1, 2, 3})) << ms << " ms";
            Bytes toDark{1, 2, 3};
            line.damage(dark, at, toDark);
            lostDark += toDark.empty() ? 1 : 0;
        }
        EXPECT_EQ(line.counts(spared).outageBytes, 0u);
        EXPECT_GT(line.outages(), 20u);
        EXPECT_GT(lostDark, 5000) << "about a sixth of 60,000 writes";
    }
}

TEST(LineFaultsTest, TheSameSeedDamagesTheSameBytesAndTheSettingsSeedWins)
{
    const auto run = [](const char *text, std::uint64_t seed) {
        LineFaults line(parseFaultSettings(text).settings, seed);
        Bytes b = counting(50'000);
        line.damage(LineDirection::ToController, Time{0}, b);
        return b;
    };
    EXPECT_EQ(run("1e-3", 5), run("1e-3", 5));
    EXPECT_NE(run("1e-3", 5), run("1e-3", 6));
    EXPECT_EQ(run("1e-3,seed=2", 5), run("1e-3,seed=2", 6));
}

} // namespace
} // namespace relm::sim
