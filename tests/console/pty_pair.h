#pragma once

// A pseudo-terminal pair for window tests: the window opens the device side as its serial port,
// the test reads what was written and writes status frames on the controller side.

#include <QByteArray>
#include <QString>

class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return m_master >= 0; }
    QString deviceName() const { return m_device; }

    // Everything the console has written so far (processing Qt events while waiting up to ms).
    QByteArray readWritten(int ms = 50);
    // Writes bytes as the controller would.
    void send(const QByteArray &bytes);

private:
    int m_master = -1;
    int m_slave = -1; // kept open so the device survives the console closing it
    QString m_device;
};
