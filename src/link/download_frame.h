#pragma once

// The download frame that carries the controller's program image (atctest.bin):
// 21 zero bytes, 0xFF, the big-endian length L + 1, the image, then 7 zero bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace relm {

inline constexpr std::size_t kTransmitBufferBytes = 20000; // the port queues the frame whole
inline constexpr std::size_t kDownloadLeadZeros = 21;
inline constexpr std::size_t kDownloadTrailZeros = 7; // the counted zero, then six more
inline constexpr std::size_t kDownloadHeaderBytes = kDownloadLeadZeros + 3;
inline constexpr std::size_t kDownloadOverheadBytes = kDownloadHeaderBytes + kDownloadTrailZeros;
inline constexpr std::size_t kMaxImageBytes = kTransmitBufferBytes - kDownloadOverheadBytes;
static_assert(kMaxImageBytes == 19969);

// Either the frame to write or the reason it must not be sent.
struct DownloadBuild
{
    bool accepted = false;
    std::vector<std::uint8_t> frame; // L + 31 bytes when accepted, empty otherwise
    std::string refusal;             // operator text when refused, empty otherwise
};

// The operator text refusing an image of this many bytes; empty when it may be sent.
std::string imageRefusal(std::size_t length);

// Builds the download frame for an image, or refuses an image too large for the port.
DownloadBuild buildDownloadFrame(std::span<const std::uint8_t> image);

} // namespace relm
