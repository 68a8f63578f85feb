#pragma once

// When the console hands a received block to the status handling. Status frames carry no start
// marker, so a block must begin where a frame begins and hold whole frames only. A status frame
// on the line is 24 bytes, three 8-byte records; the decoding reads the first 23.
//
//   24 bytes waiting (or 48, two frames)  hand over once the line has been quiet a little more
//                                         than one byte time (1.04 ms at 9600 baud): the next
//                                         byte of a stream that goes on would have come by then
//   23 bytes or more, not whole frames    a frame cut short or joined to part of another: wait
//                                         a few byte times, so that a frame still arriving is
//                                         not cut again
//   fewer                                 a fragment: half a status period of quiet, so that it
//                                         cannot prefix the next frame
//   two frames or more                    at once, quiet or not: a line that never falls quiet
//                                         is still read

#include <cstddef>

namespace relm {

inline constexpr int kReceiveThreshold = 23;  // bytes the status decoding reads
inline constexpr int kWholeFrameBytes = 24;   // a status frame on the line: three 8-byte records
inline constexpr int kWholeFrameQuietMs = 2;  // about two byte times
inline constexpr int kFrameQuietMs = 5;       // about five byte times
inline constexpr int kFragmentQuietMs = 50;   // half the controller's status period

enum class ReceiveWait { Now, WholeFrame, Frame, Fragment };

// Which quiet time applies with `waiting` bytes received and not yet handed over.
constexpr ReceiveWait receiveWait(std::size_t waiting)
{
    if (waiting >= 2 * kWholeFrameBytes)
        return ReceiveWait::Now;
    if (waiting > 0 && waiting % kWholeFrameBytes == 0)
        return ReceiveWait::WholeFrame;
    return waiting >= kReceiveThreshold ? ReceiveWait::Frame : ReceiveWait::Fragment;
}

} // namespace relm
