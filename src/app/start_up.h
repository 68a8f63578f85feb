#pragma once

// Before the main window: how the console reaches the track controller this time. From the
// command line, from the remembered settings, or from the operator in the connection dialog,
// whose choice is then remembered.

#include "app/command_line.h"
#include "app/start_settings.h"

#include <optional>

namespace relm {

// The connection to use, with the layout directory entered, or none when the operator cancelled
// the dialog or a termination signal ended it; status is then what the program ends with. With
// --layout the directory has been entered already.
std::optional<Connection> establishConnection(const ConsoleOptions &options, int *status);

} // namespace relm
