#pragma once

// One-line summaries of the frames on the controller line, for the traffic monitor and log.
// Data flow: bytes written to or read from MSComm1 -> decodeFrame -> monitor line / log line.
// The decoder places bytes by position only and never reads past the bytes it is given, so any
// byte sequence, however garbled, yields a summary.

#include <cstdint>
#include <span>
#include <string>

namespace relm {

// Which way a frame went on the serial line.
enum class Direction { ToController, FromController };

// What a block of bytes on the line was recognised as.
enum class FrameKind {
    Download,       // program image: 21 zeros, FF, length L+1 (big-endian), image, 7 zeros
    Initialisation, // register frame FF 0C writing position registers 0..3 of every train
    Command,        // register frame FF n, 6 <= n <= 24, then n (address, value) pairs
    Status,         // a read of at least 23 bytes from the controller: one record per train
    ShortRead,      // a read from the controller too short to hold every train's record
    Unknown,        // bytes to the controller that are none of the frames above
};

// The kind of a frame and its one-line summary (plain ASCII).
struct DecodedFrame
{
    FrameKind kind = FrameKind::Unknown;
    std::string summary;
};

// Recognises one block of bytes written to (ToController) or read from (FromController) the port.
// Summaries, with section codes in two-digit hex and speeds in decimal:
//   "download L=1000 bytes"
//   "init X[00 07 01 02] Y[..] Z[..]"               registers 0..3: own, behind, next, after
//   "cmd X v=48 r3=0A | Y v=0 r3=12 cmd=30(point) r2=09 | Z v=0 r3=80 rev=[29 2A 28 2F]"
//   "status X 0A/09/0B v=40 | Y 12/11/13 v=0 | Z absent"   own/behind/next, reported speed
//   "short read n=5", "unknown n=3"
DecodedFrame decodeFrame(Direction direction, std::span<const std::uint8_t> bytes);

// The bytes as two-digit upper-case hex separated by single spaces ("FF 06 03"); empty for none.
std::string hexBytes(std::span<const std::uint8_t> bytes);

// The log's name of a direction: "TX" to the controller, "RX" from it.
const char *directionTag(Direction direction);

} // namespace relm
