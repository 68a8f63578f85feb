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
    // "command-line", "remembered" or "dialog"; then what the dialog is told ("port", "denied"
    // for a device this user may not open, "layout"); then "tried:DEVICE" for each device tried.
    std::string expected;
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
    std::vector<QString> tried;
    const PortCheck checkPort = [&tried](const QString &device) -> OpenProblem {
        tried.push_back(device);
        if (device == kLocked || device == kUnplugged)
            return {QStringLiteral("シリアルポート %1 を開けません").arg(device),
                    device == kLocked};
        return {};
    };
    const LayoutCheck checkLayout = [](const QString &dir) {
        return dir == kGoneLayout ? QStringLiteral("atc.ini がありません。") : QString();
    };
    const ParsedCommandLine line = parseCommandLine(c.args);
    ASSERT_EQ(line.error, "");
    StartSettings remembered;
    remembered.connection = c.remembered;
    remembered.layoutDir = c.rememberedLayout;

    const StartDecision d = decideStart(line.options, remembered, checkPort, checkLayout);
    std::string got = d.route == StartRoute::CommandLine  ? "command-line"
                      : d.route == StartRoute::Remembered ? "remembered"
                                                          : "dialog";
    if (!d.portProblem.empty())
        got += d.portProblem.permission ? " denied" : " port";
    if (!d.layoutProblem.isEmpty())
        got += " layout";
    for (const QString &device : tried)
        got += " tried:" + device.toStdString();
    EXPECT_EQ(got, c.expected);
    if (!d.portProblem.empty()) { // in the words of the device's own message
        EXPECT_EQ(d.portProblem.text,
                  QStringLiteral("シリアルポート %1 を開けません").arg(tried.back()));
    }
}

const Connection kSim{true, {}};
const Connection kUsb0{false, kPresent};

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Starts, StartDecisionTest,
    testing::Values(
        // The command line wins and nothing remembered is even looked at.
        StartCase{"Port", {"--port", "/dev/ttyS1"}, Connection{false, kUnplugged}, kGoneLayout, "command-line"},
        StartCase{"Simulate", {"--simulate"}, std::nullopt, {}, "command-line"},
        StartCase{"NothingRemembered", {}, std::nullopt, {}, "dialog"},
        StartCase{"NoLayoutRemembered", {}, kSim, {}, "dialog"},
        StartCase{"RememberedSimulator", {"--monitor"}, kSim, kGoodLayout, "remembered"},
        StartCase{"RememberedPort", {}, kUsb0, kGoodLayout, "remembered tried:/dev/ttyUSB0"},
        StartCase{"Choose", {"--choose"}, kUsb0, kGoodLayout, "dialog"},
        StartCase{"Unplugged", {}, Connection{false, kUnplugged}, kGoodLayout, "dialog port tried:/dev/ttyUSB2"},
        StartCase{"NotPermitted", {}, Connection{false, kLocked}, kGoodLayout, "dialog denied tried:/dev/ttyUSB1"},
        // A layout that went away is said before any device is opened.
        StartCase{"LayoutGone", {}, kUsb0, kGoneLayout, "dialog layout"},
        // --layout replaces the remembered one, which is then not looked at.
        StartCase{"LayoutGiven", {"--layout", "/elsewhere"}, kUsb0, kGoneLayout, "remembered tried:/dev/ttyUSB0"},
        StartCase{"LayoutGivenNothingElse", {"--layout", "/elsewhere"}, kSim, {}, "remembered"}),
    [](const testing::TestParamInfo<StartCase> &p) { return std::string(p.param.name); });
// clang-format on

} // namespace
} // namespace relm
