// The Transfer steps that decide what reaches the controller: start positions checked before
// anything is sent, a pending stop sent before the download, and a new cycle from standstill.

#include "console/transfer.h"

#include "link/command_tick.h"
#include "link/status_event.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace relm {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string tempIni(const std::string &text)
{
    const std::string path = testing::TempDir() + std::to_string(std::random_device{}()) + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(StartPositionsTest, ReadsEveryTrainOrSaysWhereTheFileIsWrongAndChangesNothing)
{
    // X route 1 section 0 forward, Y route 0 section 0 reverse, Z absent.
    const StartPositionsCheck good =
        readStartPositions(tempIni("1\r\n0\r\n0\r\n1\r\n0\r\n0\r\n1\r\n1\r\n3\r\n7\r\n1\r\n0\r\n"));
    ASSERT_TRUE(good.result.ok());
    using Codes = std::array<std::int16_t, 4>;
    EXPECT_EQ(good.positions.codes[0], (Codes{8, 15, 9, 10}));
    EXPECT_EQ(good.positions.codes[1], (Codes{32, 33, 39, 38}));
    EXPECT_EQ(good.positions.codes[2], (Codes{128, 128, 128, 128}));

    // The third train's reverse value is out of range: the first two would load, but the
    // check fails as a whole and names the line and the value.
    const StartPositionsCheck bad =
        readStartPositions(tempIni("1\r\n0\r\n0\r\n1\r\n0\r\n0\r\n1\r\n1\r\n3\r\n7\r\n2\r\n1\r\n"));
    ASSERT_FALSE(bad.result.ok());
    EXPECT_EQ(bad.result.line, 11);
    EXPECT_NE(bad.result.reason.find("11 行目"), std::string::npos) << bad.result.reason;
    EXPECT_NE(bad.result.reason.find("値 2"), std::string::npos) << bad.result.reason;
    EXPECT_EQ(bad.result.reason.find("変更されていません"), std::string::npos)
        << "nothing was loaded, so no train kept or lost anything";

    const StartPositionsCheck missing = readStartPositions(testing::TempDir() + "no-such.ini");
    EXPECT_EQ(missing.result.status, IniLoadStatus::CannotOpen);
    EXPECT_NE(missing.result.reason.find("no-such.ini"), std::string::npos);
}

// A cycle that ran with X at speed 60 and then got Reset: the stop still waits for its tick.
Module1 resetWhileRunning(bool initSent)
{
    Module1 m;
    m.InitSent = initSent ? kTrue : kFalse;
    m.PosCode2 = {0x02, 0x0B, 0x80, 0};
    m.PosCode3 = {0x03, 0x0C, 0x80, 0};
    m.OutSpeed[0] = m.TargetSpeed[0] = 60;
    m.TrainCmd[0] = kCmdStop;
    return m;
}

TEST(PendingStopTest, IsTheFrameTheTickWouldHaveSentAndIsSentOnce)
{
    for (const bool initSent : {true, false}) {
        Module1 m = resetWhileRunning(initSent);
        // Even before the initialisation frame: it is the stop, not the initialisation, that
        // must reach the old program.
        EXPECT_EQ(takePendingStop(m), (Bytes{0xFF, 0x08, 0x03, 0x03, 0x04, 60, 0x11, 0x0C, 0x12,
                                             0x00, 0x1F, 0x80, 0x20, 0x00, 0x02, 0x02, 0x07,
                                             0xFF}))
            << initSent;
        EXPECT_EQ(m.TrainCmd[0], kCmdNone);
        EXPECT_TRUE(takePendingStop(m).empty());
    }
    Module1 idle;
    EXPECT_TRUE(takePendingStop(idle).empty());
}

TEST(StartCycleTest, PlacesTheCheckedPositionsClearsRequestsAndStartsFromStandstill)
{
    Module1 m;
    for (int t = 0; t < 3; ++t) {
        m.OutSpeed[t] = m.TargetSpeed[t] = 128;
        m.SliderSpeed[t] = 128;
        m.TrainCmd[t] = kCmdSetPoint;
        m.RevState[t] = kRevReady;
        m.PointReq[t] = 1;
        m.PointArmed[t] = m.PointBlocked[t] = kTrue;
    }
    m.InitSent = kTrue;
    StartPositions p;
    p.codes = {{{0x01, 0x00, 0x02, 0x03}, {0x0B, 0x0A, 0x0C, 0x0D}, {128, 128, 128, 128}}};
    startCycle(m, p);
    EXPECT_EQ(m.InitSent, kFalse);
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(m.PosCode0[t], p.codes[t][0]);
        EXPECT_EQ(m.PosCode3[t], p.codes[t][3]);
        EXPECT_EQ(m.TrainCmd[t] | m.RevState[t] | m.PointReq[t] | m.PointArmed[t] |
                      m.PointBlocked[t],
                  0)
            << t;
    }
    // Initialisation, then X and Y climb from 0 by 20 a frame towards their sliders.
    EXPECT_EQ(commandTick(m, false).bytes.size(), 26u);
    Bytes status(24, 0);
    for (int t = 0; t < 3; ++t) {
        for (int k = 0; k < 3; ++k)
            status[static_cast<std::size_t>(8 * t + k)] = static_cast<std::uint8_t>(p.codes[t][k]);
    }
    std::vector<int> xSpeeds;
    for (int i = 0; i < 3; ++i) {
        statusEvent(m, status, BarFrame{1575, 1920});
        xSpeeds.push_back(commandTick(m, false).bytes[5]);
    }
    EXPECT_EQ(xSpeeds, (std::vector<int>{20, 40, 60}));
}

} // namespace
} // namespace relm
