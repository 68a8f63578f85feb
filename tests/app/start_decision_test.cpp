#include "app/start_decision.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

const QString kGoodLayout = QStringLiteral("/layouts/hall");
const QString kGoneLayout = QStringLiteral("/layouts/gone");
const QString kPresent = QStringLiteral("/dev/ttyUSB0");
const QString kLocked = QStringLiteral("/dev/ttyUSB1"); // this user may not open it
const QString kUnplugged = QStringLiteral("/dev/ttyUSB2");

struct StartCase
{
    const char *name;
    std::vector<std::string> args;
    std::optional<Connection> remembered;
    QString rememberedLayout;
    StartRoute route;
    QString portProblem;   // the start of what the dialog is to say about the device
    bool permission;
    bool layoutProblem;
    std::vector<QString> checkedPorts; // the devices tried, in order
};

void PrintTo(const StartCase &c, std::ostream *os)
{
    *os << c.name;
}

class StartDecisionTest : public testing::TestWithParam<StartCase>
{
};

TEST_P(StartDecisionTest, ConnectsAsGivenAsRememberedOrAsksAndTriesOnlyWhatItMustUse)
{
    const StartCase &c = GetParam();
    std::vector<QString> checked;
    const PortCheck checkPort = [&checked](const QString &device) -> OpenProblem {
        checked.push_back(device);
        if (device == kLocked)
            return {QStringLiteral("シリアルポート %1 を開けません: 権限").arg(device), true};
        if (device == kUnplugged)
            return {QStringLiteral("シリアルポート %1 を開けません: ない").arg(device), false};
        return {};
    };
    const LayoutCheck checkLayout = [](const QString &dir) {
        return dir == kGoneLayout ? QStringLiteral("%1 に atc.ini がありません。").arg(dir) : QString();
    };
    const ParsedCommandLine line = parseCommandLine(c.args);
    ASSERT_EQ(line.error, "");
    StartSettings remembered;
    remembered.connection = c.remembered;
    remembered.layoutDir = c.rememberedLayout;

    const StartDecision d = decideStart(line.options, remembered, checkPort, checkLayout);
    EXPECT_EQ(d.route, c.route);
    EXPECT_EQ(d.portProblem.text.left(c.portProblem.size()), c.portProblem);
    EXPECT_EQ(d.portProblem.empty(), c.portProblem.isEmpty());
    EXPECT_EQ(d.portProblem.permission, c.permission);
    EXPECT_EQ(!d.layoutProblem.isEmpty(), c.layoutProblem);
    EXPECT_EQ(checked, c.checkedPorts);
}

const Connection kSim{true, {}};
const Connection kUsb0{false, kPresent};

INSTANTIATE_TEST_SUITE_P(
    Starts, StartDecisionTest,
    testing::Values(
        // The command line wins and nothing remembered is even looked at.
        StartCase{"Port", {"--port", "/dev/ttyS1"}, Connection{false, kUnplugged}, kGoneLayout,
                  StartRoute::CommandLine, {}, false, false, {}},
        StartCase{"Simulate", {"--simulate"}, std::nullopt, {}, StartRoute::CommandLine, {}, false,
                  false, {}},
        StartCase{"NothingRemembered", {}, std::nullopt, {}, StartRoute::Dialog, {}, false, false, {}},
        StartCase{"NoLayoutRemembered", {}, kSim, {}, StartRoute::Dialog, {}, false, false, {}},
        StartCase{"RememberedSimulator", {"--monitor"}, kSim, kGoodLayout, StartRoute::Remembered, {},
                  false, false, {}},
        StartCase{"RememberedPort", {}, kUsb0, kGoodLayout, StartRoute::Remembered, {}, false, false,
                  {kPresent}},
        StartCase{"Choose", {"--choose"}, kUsb0, kGoodLayout, StartRoute::Dialog, {}, false, false,
                  {}},
        StartCase{"Unplugged", {}, Connection{false, kUnplugged}, kGoodLayout, StartRoute::Dialog,
                  QStringLiteral("シリアルポート /dev/ttyUSB2 を開けません"), false, false,
                  {kUnplugged}},
        StartCase{"NotPermitted", {}, Connection{false, kLocked}, kGoodLayout, StartRoute::Dialog,
                  QStringLiteral("シリアルポート /dev/ttyUSB1 を開けません"), true, false, {kLocked}},
        // A layout that went away is said before any device is opened.
        StartCase{"LayoutGone", {}, kUsb0, kGoneLayout, StartRoute::Dialog, {}, false, true, {}},
        // --layout replaces the remembered one, which is then not looked at.
        StartCase{"LayoutGiven", {"--layout", "/elsewhere"}, kUsb0, kGoneLayout,
                  StartRoute::Remembered, {}, false, false, {kPresent}},
        StartCase{"LayoutGivenNothingElse", {"--layout", "/elsewhere"}, kSim, {},
                  StartRoute::Remembered, {}, false, false, {}}),
    [](const testing::TestParamInfo<StartCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
