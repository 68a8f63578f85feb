#include "x_display.h"

#include <QStandardPaths>

namespace relm::test {

XDisplay::~XDisplay()
{
    if (m_xvfb.state() != QProcess::NotRunning) {
        m_xvfb.terminate();
        m_xvfb.waitForFinished();
    }
}

QString XDisplay::missingTool()
{
    for (const QString &tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return tool + QStringLiteral(" is not installed (scripts/setup installs it)");
    }
    return {};
}

bool XDisplay::start()
{
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    if (!m_xvfb.waitForReadyRead(10000))
        return false;
    m_display = QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine()).trimmed();
    return true;
}

QProcessEnvironment XDisplay::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

int XDisplay::xdotool(const QStringList &arguments, QString *output) const
{
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (output != nullptr)
        *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return p.exitCode();
}

QString XDisplay::waitForWindow(const QString &pattern) const
{
    QString id;
    if (xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                 QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern},
                &id) != 0) {
        return {};
    }
    return id.section(u'\n', 0, 0);
}

} // namespace relm::test
