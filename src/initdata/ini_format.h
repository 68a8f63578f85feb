#pragma once

// The initial data file atc.ini: twelve integers, four per train (X, Y, Z), each on a line of its
// own. Within a train: route 0..3, section 0..7, reverse 0/1, run 0/1.
// This header only turns bytes into values and back; opening files is someone else's business.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace relm {

inline constexpr int kIniValuesPerTrain = 4;
inline constexpr int kIniValueCount = 12; // three trains of four values

// atc.ini is about 60 bytes; a file larger than this is not initial data and is not read.
inline constexpr std::size_t kMaxIniFileBytes = 64 * 1024;

// The four values of a train, in file order.
enum class IniField { Route = 0, Section = 1, Reverse = 2, Run = 3 };

// Largest value each field may hold; every field starts at 0.
inline constexpr std::array<int, kIniValuesPerTrain> kIniFieldMax{3, 7, 1, 1};

constexpr IniField iniField(int valueIndex)
{
    return static_cast<IniField>(valueIndex % kIniValuesPerTrain);
}
constexpr int iniTrain(int valueIndex)
{
    return valueIndex / kIniValuesPerTrain;
}
constexpr int iniFieldMax(int valueIndex)
{
    return kIniFieldMax[valueIndex % kIniValuesPerTrain];
}

// Why the reader stopped taking values.
enum class IniStop {
    Complete,   // all twelve values were read; anything after them is ignored
    EndOfFile,  // the text ended before the next value
    NotANumber, // the next value is not a whole number that fits in 32 bits
};

using IniValueArray = std::array<std::int32_t, kIniValueCount>;

// What the reader took from a file, and where and why it stopped.
struct IniValues
{
    IniValueArray values{};                  // values[0..count) were read; the rest are 0
    std::array<int, kIniValueCount> lines{}; // 1-based line of each value read
    int count = 0;                           // how many values were read, 0..12
    IniStop stop = IniStop::EndOfFile;
    int stopLine = 0;           // 1-based line where reading stopped (the bad value's line)
    std::size_t stopOffset = 0; // byte offset where reading stopped
    std::string badText;        // the text that is not a number (at most 24 bytes of it)
};

// Reads up to twelve values. Blanks (space, tab) around a value are ignored; a comma or the end
// of a line (CR LF, LF or a lone CR) ends a value; empty lines between values are skipped.
// A value is an optional sign and decimal digits. A UTF-8 byte order mark at the start is skipped.
IniValues parseIni(std::string_view text);

// One value as the file holds it: the sign position (a blank, or a minus), the digits, a blank,
// CR LF. 1 is written as the five bytes 20 31 20 0D 0A.
std::string formatIniValue(std::int32_t value);

// The whole file: the twelve values in order, one per line.
std::string formatIni(const IniValueArray &values);

// The values the dialog shows for what was read: values not read are 0, values outside their
// field's range are brought to its nearest end.
IniValueArray dialogValues(const IniValues &read);

} // namespace relm
