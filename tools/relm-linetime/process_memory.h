#pragma once

// Memory of a running process as Linux reports it in /proc/PID/status.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace relm {

// A "Name:   1234 kB" field of a status text, in kB; nothing when the field is absent or is
// not a number of kB.
std::optional<long> statusFieldKb(std::string_view statusText, std::string_view field);

// The whole /proc/PID/status text; empty when the process is gone.
std::string readProcStatus(pid_t pid);

// Resident set (VmRSS) and its peak (VmHWM) of a process, in kB.
std::optional<long> residentKb(pid_t pid);
std::optional<long> peakResidentKb(pid_t pid);

} // namespace relm
