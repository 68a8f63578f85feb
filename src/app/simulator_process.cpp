#include "app/simulator_process.h"

#include <QFileInfo>

#ifdef __linux__
#include <csignal>
#include <sys/prctl.h>
#endif

namespace relm {

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
} // namespace

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

QString SimulatorProcess::start(const QString &program, const QStringList &arguments,
                                QString *error)
{
    if (!QFileInfo(program).isExecutable()) {
        *error = QStringLiteral("%1 was not found or cannot be run; build it beside relm").arg(program);
        return {};
    }
    // Its log goes straight to our standard error; its standard output carries the device.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef __linux__
    // Should relm itself be killed, the simulator goes with it instead of serving on alone.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("%1 did not start: %2").arg(program, m_process.errorString());
        return {};
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(kStartTimeoutMs)) {
            *error = QStringLiteral("%1 did not name its device").arg(program);
            stop();
            return {};
        }
    }
    const QString device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    if (device.isEmpty()) {
        *error = QStringLiteral("%1 printed an empty device name").arg(program);
        stop();
    }
    return device;
}

void SimulatorProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }
}

} // namespace relm
