#pragma once

#include <QProcess>
#include <QString>

namespace relm {

// The simulated track controller started beside the console for --simulate: relm-sim from the
// console's own directory, whose first output line names the serial device to use.
class SimulatorProcess final
{
public:
    SimulatorProcess() = default;
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;
    ~SimulatorProcess();

    // Starts the program and waits for the device line. Empty result, with the reason, on failure.
    QString start(const QString &program, const QStringList &arguments, QString *error);

    // Ends the simulator (it prints its summary on the way out).
    void stop();

private:
    QProcess m_process;
};

} // namespace relm
