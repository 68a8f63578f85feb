#pragma once

// What the window benchmarks share: the sample layout's directory, a working directory that
// holds a given kukan.dat, and a pseudo-terminal that plays the track controller's side.

#include "map/map_geometry.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace relm::bench {

// The runnable sample layout (kukan.dat, atc.ini, atctest.bin) of this build tree, or the
// directory named by RELM_LAYOUT_DIR.
QString sampleLayoutDir();

// Makes dir the current directory for its lifetime; the windows open their files by bare name.
class ScopedCurrentDir final
{
public:
    explicit ScopedCurrentDir(const QString &dir);
    ScopedCurrentDir(const ScopedCurrentDir &) = delete;
    ScopedCurrentDir &operator=(const ScopedCurrentDir &) = delete;
    ~ScopedCurrentDir();

    bool ok() const { return m_ok; }

private:
    QString m_previous;
    bool m_ok = false;
};

// A temporary directory holding kukan.dat written from geometry.
std::unique_ptr<QTemporaryDir> directoryWithMap(const MapGeometry &geometry);

// The heaviest map the file allows: 100 polygons of 11 corners in a 10 x 10 grid, each with
// its number label.
MapGeometry worstCaseMap();

// The controller's side of a pseudo-terminal; the console opens deviceName() as its port.
class ControllerPty final
{
public:
    ControllerPty();
    ControllerPty(const ControllerPty &) = delete;
    ControllerPty &operator=(const ControllerPty &) = delete;
    ~ControllerPty();

    bool ok() const { return m_master >= 0; }
    QString deviceName() const { return m_device; }

    // Writes bytes as the controller would, then waits until all of them wait at the console's
    // side of the line, so that what follows measures the console and not the pty.
    bool sendAndSettle(const QByteArray &bytes);

    // Throws away whatever the console has written.
    void drain();

private:
    int m_master = -1;
    int m_slave = -1; // kept open: the device survives the console closing it; tells what waits
    QString m_device;
};

} // namespace relm::bench
