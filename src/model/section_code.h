#pragma once

// Section codes: one byte naming a track section and a running direction.
//   bit 7    absent (the train is not on the layout; written as exactly 128)
//   bit 6    unused, masked away everywhere
//   bit 5    reverse: the train runs towards decreasing section index
//   bits 4-3 route 0..3
//   bits 2-0 section index 0..7 on the route's loop (7 is followed by 0)

#include <array>
#include <cstdint>

namespace relm {

inline constexpr std::int16_t kAbsentCode = 128;
inline constexpr int kAbsentFlag = 0x80;
inline constexpr int kReverseFlag = 0x20;

// Route and index, 0..31: names a section regardless of direction; also its map polygon.
constexpr int sectionNumber(int code) { return code & 0x1F; }

// Section number plus the absent flag: an absent train never matches a section number.
constexpr int occupancyKey(int code) { return code & 0x9F; }

// Reverse flag and route: what stays fixed while stepping along a loop.
constexpr int codeBase(int code) { return code & 0x38; }

constexpr bool isReverse(int code) { return (code & kReverseFlag) != 0; }

// The section k places ahead on the same loop. Route and direction come from directionCode,
// the index from index (only its low three bits count). A negative k steps behind.
constexpr std::int16_t stepAhead(int directionCode, int index, int k)
{
    const int i = isReverse(directionCode) ? index - k : index + k;
    return static_cast<std::int16_t>(codeBase(directionCode) + (i & 7));
}

// Whether another train's code d occupies the section of code c; direction never matters.
constexpr bool occupies(int d, int c) { return occupancyKey(d) == sectionNumber(c); }

// The two other trains, in the order they are visited: t + 1, then t + 2, wrapped into 0..2.
constexpr std::array<int, 2> otherTrains(int t)
{
    const int a = t + 1 > 2 ? t + 1 - 3 : t + 1;
    const int b = t + 2 > 2 ? t + 2 - 3 : t + 2;
    return {a, b};
}

// The code of a train placed at route r, index s, reverse flag v (0 or 1).
constexpr std::int16_t placedCode(int r, int s, int v)
{
    return static_cast<std::int16_t>(32 * v + 8 * r + s);
}

} // namespace relm
