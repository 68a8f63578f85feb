#pragma once

// One receive notification of the serial port: show the bytes, decode a complete status frame
// (one 8-byte record per train) into the shared tables, run the point, status and reversal
// passes, and tell the main window what to show. The window applies the view; it decides
// nothing itself.

#include "link/supervision.h"
#include "model/module1.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace relm {

// Bytes the decoder reads: records of trains 0..2 at 0, 8, 16, the last one up to its byte 6.
inline constexpr std::size_t kStatusFrameBytes = 23;
inline constexpr int kStatusRecordBytes = 8;
inline constexpr int kCautionSpeed = 48;
inline constexpr float kBarFullScale = 128.0f; // reported speed that fills the bar's frame

// Label2 backgrounds (0x00BBGGRR).
inline constexpr std::uint32_t kStatusGrey = 0xC0C0C0;        // train absent
inline constexpr std::uint32_t kStatusLightRed = 0x8080FF;    // stop
inline constexpr std::uint32_t kStatusLightYellow = 0x80FFFF; // caution
inline constexpr std::uint32_t kStatusLightCyan = 0xFFFFC0;   // clear

// Height and top, in twips, of the fixed frame (Shape2) around a train's speed bar.
struct BarFrame
{
    int height = 0;
    int top = 0;
};

// What one train's row must show after the event. Empty optionals leave the control as it is.
struct TrainView
{
    std::optional<std::string> caption;  // Label2: PosCode1 PosCode0 PosCode2 PosCode3 in hex
    std::optional<std::uint32_t> colour; // Label2 background, 0x00BBGGRR
    std::optional<int> barHeight;        // Shape1 height, twips
    std::optional<int> barTop;           // Shape1 top, twips
    bool resetPointButton = false;       // Command4 back to the button face: point passed
    bool resetReverseButton = false;     // Command6 back to the button face: reversal ready
};

// Everything the main window shows after one receive notification.
struct StatusView
{
    std::string label1Text;                    // the received bytes in hex
    bool decoded = false; // the block was decoded: a whole frame, after the initialisation frame
    std::array<TrainView, kTrainCount> trains; // rows X, Y, Z
    int mapRedraws = 0;                        // KDisp calls: one per present train that moved
    FrameReading reading; // what a decoded frame told of each train (speeds, believed or not)
    // Set only by the status event with a report watch (link/report_watch.h).
    std::optional<std::string> windowCaption; // Form1's caption, when it changes
    std::vector<std::string> notices;         // lines for the traffic monitor and the log
};

// Handles one block read from the port. A block shorter than a whole frame is only shown;
// bytes after the first frame are shown and not decoded.
StatusView statusEvent(Module1 &m, std::span<const std::uint8_t> block, BarFrame frame);

// Upper-case hex without leading zeros, each byte followed by one space.
std::string receivedBytesText(std::span<const std::uint8_t> block);

// Bar height in twips for a reported speed: speed × frame height / 128 in single precision,
// rounded to the nearest twip, halves to even.
int speedBarHeight(int actualSpeed, int frameHeight);

} // namespace relm
