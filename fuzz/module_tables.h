#pragma once

// Train tables for the fuzz targets: filled from the fuzz input, compared table by table.

#include "model/module1.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace relm {

// Every per-train table, the scalars and, if the input says so, the point table, from the
// input: section codes mostly as the line carries them (one byte), sometimes any 16-bit value.
void fillTables(Module1 &m, FuzzedDataProvider &in);

// Whether every table of a and b holds the same values.
bool sameTables(const Module1 &a, const Module1 &b);

// Stops the run with a message: the fuzzer records the input that broke the rule.
[[noreturn]] void broken(const char *rule);

} // namespace relm
