#pragma once

// The controller's program image. The controller runs any image it is sent; an image that
// starts with the header below also carries parameters for the simulated layout:
//
//   bytes 0..7   "RELM-ATC"
//   byte  8      format version, 1
//   byte  9      parameter count n
//   then n times key (1 byte), value (2 bytes, big-endian)
//   then         a title in UTF-8 up to the end of the image (may be empty)
//
// Keys: 1 status interval in ms (20..1000), 2 section length in mm (100..10000), 3 speed at
// register value 128 in mm/s (10..5000), 4 acceleration and 5 braking in speed units per
// second (1..1024). Unknown keys and values out of range are noted and left at their defaults;
// physics that would let a train overrun a section on the console's stop ramp are refused as a
// whole.

#include "sim/physics.h"
#include "sim/sim_time.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace relm::sim {

inline constexpr int kImageVersion = 1;
inline constexpr Duration kDefaultStatusInterval{100'000};

enum class ImageKey : std::uint8_t {
    StatusIntervalMs = 1,
    SectionLengthMm = 2,
    TopSpeedMmPerS = 3,
    AccelerationPerS = 4,
    BrakingPerS = 5,
};

struct ImageParameter
{
    ImageKey key;
    std::uint16_t value;
};

// What the controller takes from an image.
struct ImageInfo
{
    bool hasHeader = false;
    int version = 0;
    std::string title;
    Duration statusInterval = kDefaultStatusInterval; // what the controller will use
    Physics physics;                // defaults where the image sets nothing usable
    std::vector<std::string> notes; // parameters that were ignored, and why
};

// CRC-32 (IEEE 802.3, reflected, polynomial 0xEDB88320, as zip and PNG use it).
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// Reads the header of an image. A `fixedInterval` (set by the operator) wins over the image's.
// The physics are checked against the console's worst reaction at the interval that results.
ImageInfo readImage(std::span<const std::uint8_t> image,
                    std::optional<Duration> fixedInterval = std::nullopt);

// Builds an image with the header, the given parameters and title.
std::vector<std::uint8_t> buildImage(std::span<const ImageParameter> params,
                                     const std::string &title);

} // namespace relm::sim
