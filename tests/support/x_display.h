#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace relm::test {

// An X display of its own for a test that runs the real program: Xvfb, and xdotool to find its
// windows and press keys and buttons there. Ended with the object.
class XDisplay final
{
public:
    XDisplay() = default;
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;
    ~XDisplay();

    // Why the machine cannot give one (Xvfb or xdotool missing), or an empty string.
    static QString missingTool();

    // Starts Xvfb; false when it does not come up.
    bool start();

    // This process's environment with the display set and Qt told to use it.
    QProcessEnvironment environment() const;

    // Runs xdotool there; its exit status, -1 when it did not end within 15 s. output gets what
    // it printed (a window id for search).
    int xdotool(const QStringList &arguments, QString *output = nullptr) const;

    // The id of the visible window whose title matches pattern, waiting for it; empty if none
    // appears within 15 s.
    QString waitForWindow(const QString &pattern) const;

private:
    QProcess m_xvfb;
    QString m_display;
};

} // namespace relm::test
