#pragma once

// Loading the initial train positions from atc.ini into the position registers, as Transfer does
// after a program download.

#include "initdata/ini_format.h"
#include "model/module1.h"

#include <string>

namespace relm {

enum class IniLoadStatus {
    Loaded,     // all three trains have their new codes
    CannotOpen, // the file is missing or may not be read
    CannotRead, // the file opened but reading it failed
    EndOfFile,  // the file ended before a train's four values were read
    NotANumber, // a value is not a number
    OutOfRange, // a value lies outside its field's range
};

// How a load went: which trains got their codes, and where and why it stopped if it did.
struct IniLoadResult
{
    IniLoadStatus status = IniLoadStatus::Loaded;
    int trainsLoaded = 0; // trains 0..trainsLoaded-1 got new codes; the others are untouched
    int train = -1;       // train whose value stopped the load (0..2), -1 if none did
    int field = -1;       // which of its values: IniField as int, -1 if none
    int line = 0;         // 1-based line of the file, 0 if the file was not read
    std::string reason;   // what is wrong and where (Japanese, as the console speaks); empty if loaded
    std::string message;  // the reason and which trains kept their positions; empty if loaded

    bool ok() const { return status == IniLoadStatus::Loaded; }
};

// Sets PosCode0..PosCode3 of each train from the values read, train by train. A train on the
// layout (run 1) gets its own section and the sections one behind, one ahead and two ahead; a
// train with run 0 gets 128 in all four. At the first value that is missing, not a number or out
// of range the load stops: earlier trains keep their new codes, that train and the later ones
// keep what they had. fileName names the file in the message.
IniLoadResult applyIni(Module1 &m, const IniValues &read, const std::string &fileName);

// Reads the file at path and applies it as above. A missing file changes nothing.
IniLoadResult LoadIni(Module1 &m, const std::string &path = "atc.ini");

} // namespace relm
