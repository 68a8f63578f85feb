#pragma once

// The console's safety rules: stop or caution, route availability, and the reversed registers.
// They read the train tables and keep no state of their own.

#include "model/module1.h"

namespace relm {

// Result of CheckAhead; the numbers are those the status pass works with.
enum class Ahead : std::int16_t {
    Clear = 0,   // both sections ahead are free
    Stop = 1,    // the next section is occupied
    Caution = 2, // the next section is free, the one after it is occupied
};

// Whether the next two sections of train t are free of the other two trains' PosCode0..2.
Ahead CheckAhead(const Module1 &m, int t);

// Whether section code c is free of PosCode0..3 of every train other than t.
bool RouteClear(const Module1 &m, std::int16_t c, int t);

// Computes RevCode0..3 of train t for running the other way and sets its RevState to 3.
// Makes no test of its own: absent codes pass through with only the direction bit flipped.
void MakeReverse(Module1 &m, int t);

} // namespace relm
