#pragma once

// The relm-map command line: build kukan.dat from its text source, or dump it as text.

#include <iosfwd>
#include <string>
#include <vector>

namespace relm {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // bad input or a file that cannot be read or written
inline constexpr int kExitUsage = 2;

// args are the words after the program name. Text goes to out, messages to err.
int runRelmMap(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace relm
