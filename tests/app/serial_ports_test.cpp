#include "app/serial_ports.h"

#include "controller_pty.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

TEST(SerialPortsTest, LabelsNameWhatThePersonCanTellThePortBy)
{
    const std::vector<std::pair<SerialPortEntry, QString>> cases{
        {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
          QStringLiteral("A10K3Z9Q")},
         QStringLiteral("/dev/ttyUSB0 — FT232R USB UART (FTDI, A10K3Z9Q)")},
        {{QStringLiteral("/dev/ttyS0"), {}, {}, {}}, QStringLiteral("/dev/ttyS0")},
        {{QStringLiteral("/dev/ttyACM0"), QStringLiteral(" "), QStringLiteral("Arduino"), {}},
         QStringLiteral("/dev/ttyACM0 — (Arduino)")},
        {{QStringLiteral("COM3"), QStringLiteral("USB Serial Port"), {}, QStringLiteral("7")},
         QStringLiteral("COM3 — USB Serial Port (7)")},
    };
    for (const auto &[port, label] : cases)
        EXPECT_EQ(portLabel(port), label);
}

TEST(SerialPortsTest, TryingAPortLeavesItFreeAndAMissingOneIsNamedInTodaysWords)
{
    test::ControllerPty pty;
    if (!pty.ok())
        GTEST_SKIP() << "no pseudo-terminals on this machine";
    const QString device = QString::fromStdString(pty.device());
    EXPECT_TRUE(serialPortProblem(device).empty());
    EXPECT_TRUE(serialPortProblem(device).empty()) << "the first try kept the port open";

    const OpenProblem missing = serialPortProblem(QStringLiteral("/dev/relm-no-such-port"));
    EXPECT_TRUE(missing.text.startsWith(
        QStringLiteral("シリアルポート /dev/relm-no-such-port を開けません: /dev/relm-no-such-port "
                       "が見つかりません")))
        << missing.text.toStdString();
    EXPECT_FALSE(missing.permission);
}

} // namespace
} // namespace relm
