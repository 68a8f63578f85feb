#pragma once

// The text relm-soak prints at the end of a run: what ran, what was checked, what broke.

#include "soak_run.h"

#include <string>

namespace relm {

// Summary figures, then every recorded violation with its trace.
std::string soakReport(const SoakRun &run);

} // namespace relm
