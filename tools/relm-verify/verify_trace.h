#pragma once

// A violation's shortest way, written as a traffic log that relm-sim --replay plays back:
//
//   # relm-verify: <what was violated>
//   # atc.ini: <the twelve values>          (also written beside the log, see below)
//   0 TX <download frame> | ...
//   1020 TX <initialisation frame> | ...
//   # 1870 NOTE operator: Y slider 128      (what the operator does, before the status frame)
//   1920 RX <status frame> | ...
//   2020 TX <command frame> | ...
//
// Periods are 200 ms apart; each status frame is read 100 ms before its tick. Replayed, the
// console is started with the atc.ini written beside the log, the operator does what the notes
// say when they say it, and the console's frames are compared with the log's.
//
// consoleReplay() plays such a log against the console's own core with nothing of the model:
// the operator notes and the status frames go in, and every frame the console sends must be the
// one the log holds.

#include "verify_state.h"
#include "verify_step.h"

#include "initdata/ini_format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace relm::verify {

inline constexpr int kPeriodMs = 200;

// The log of a run from `start` through `steps`; `download` is the download frame the console
// sends first (built from its atctest.bin). `headline` goes in the first comment line.
std::string traceLog(const IniValueArray &start, const std::vector<std::uint16_t> &steps,
                     const ModelShape &shape, const std::vector<std::uint8_t> &download,
                     const std::string &headline);

// The steps again, one line each, with the state after each period: for a person reading why.
std::string traceExplanation(const IniValueArray &start, const std::vector<std::uint16_t> &steps,
                             const ModelShape &shape);

// What the last step of the way violates, told from the start as given. (The search keeps each
// state in one form for all its mirror images, so what it saw may name mirrored sections.)
std::vector<Finding> findingsAtEnd(const IniValueArray &start,
                                   const std::vector<std::uint16_t> &steps, const ModelShape &shape);

struct ConsoleReplay
{
    std::size_t framesCompared = 0;
    std::vector<std::string> differences; // "line 12: expected FF 06 ..., sent FF 06 ..."
};

// Plays the log's status frames and operator notes into the console's core, started from the
// atc.ini values, and compares every frame it sends with the log's.
ConsoleReplay consoleReplay(const std::string &log, const IniValueArray &start);

} // namespace relm::verify
