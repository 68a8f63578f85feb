#pragma once

// The layout directory named by --layout. The console opens atctest.bin, atc.ini and kukan.dat
// by bare name, so it works in that directory as it would in the one it was started in.

#include <QString>

namespace relm {

// Where the operator names the layout directory, for the advice that follows a problem.
enum class LayoutNamedBy {
    CommandLine, // --layout: the problem ends with how to name a layout there
    Dialog       // the connection dialog, which says itself what a layout folder holds
};

// Why dir cannot be the layout directory, for the operator, or an empty string when it can: it
// must exist, be a directory that can be entered, and hold each of the layout's files as a
// readable file.
QString layoutDirectoryProblem(const QString &dir, LayoutNamedBy by = LayoutNamedBy::CommandLine);

// Checks dir and makes it the current directory. Returns false with the reason otherwise, and
// the current directory stays as it was.
bool enterLayoutDirectory(const QString &dir, QString *error);

} // namespace relm
