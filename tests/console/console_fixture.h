#pragma once

// A console with its windows on one end of a pseudo-terminal, in a scratch directory of its own;
// the test plays the controller on the other end.

#include "controller_pty.h"

#include "console/console.h"
#include "console/form1.h"
#include "traffic/traffic_log.h"

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

// Colours in failure messages as r,g,b rather than bytes.
void PrintTo(const QColor &colour, std::ostream *os);

namespace relm {

void writeFile(const char *name, const QByteArray &content);
TrafficLog readLog(const char *name);

// A fresh console (its own tables, console object and windows) in the current directory,
// logging every frame, with message boxes and the program's end recorded instead of shown or
// carried out.
struct Desk
{
    Module1 module;
    Console console;
    std::unique_ptr<Form1> form;
    std::vector<QString> messages;
    int endStatus = -1;

    Desk(const QString &device, const char *logName);
};

// Each test runs in its own scratch directory, the current one while it runs.
class ScratchDirTest : public testing::Test
{
protected:
    ScratchDirTest() { QDir::setCurrent(dir.path()); }
    ~ScratchDirTest() override { QDir::setCurrent(previous); }

    QString previous = QDir::currentPath();
    QTemporaryDir dir;
};

inline constexpr const char *kApartIni =
    " 0 \r\n 1 \r\n 0 \r\n 1 \r\n 1 \r\n 3 \r\n 0 \r\n 1 \r\n 2 \r\n 5 \r\n 0 \r\n 0 \r\n";

// The console on one end of a pty; the test is the controller.
class Form1Test : public ScratchDirTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Everything the console has written while Qt's events ran for ms.
    QByteArray written(int ms = 50);
    void send(const QByteArray &b, int ms = 100);

    // Transfer of a 100-byte image with the trains placed by ini (by default X on route 0
    // section 1, Y on route 1 section 3, Z absent).
    QByteArray transfer(const char *ini = kApartIni);

    std::optional<test::ControllerPty> pty;
    QString device;
    int master = -1; // the pty's controller end
    std::optional<Desk> c;
    Form1 *form = nullptr;
};

} // namespace relm
