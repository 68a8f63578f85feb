#pragma once

// When the console hands a received block to the status handling. Status frames carry no start
// marker, so a block must begin where a frame begins: a block is handed over once a whole frame
// waits and the line has then been quiet for a few byte times, or, for a fragment, once the line
// has been quiet for half a status period.

namespace relm {

inline constexpr int kReceiveThreshold = 23;  // bytes the status decoding reads
inline constexpr int kWholeFrameBytes = 24;   // a status frame on the line: three 8-byte records
inline constexpr int kFrameQuietMs = 5;       // about five byte times at 9600 baud
inline constexpr int kFragmentQuietMs = 50;   // half the controller's status period

} // namespace relm
