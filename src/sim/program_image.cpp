#include "sim/program_image.h"

#include <array>
#include <string_view>

namespace relm::sim {

namespace {

constexpr std::string_view kMagic = "RELM-ATC";
constexpr std::size_t kHeaderBytes = 10; // magic, version, parameter count

struct KeyRange
{
    ImageKey key;
    const char *name;
    int lowest;
    int highest;
};

constexpr std::array<KeyRange, 5> kRanges{{
    {ImageKey::StatusIntervalMs, "status interval", 20, 1000},
    {ImageKey::SectionLengthMm, "section length", 100, 10000},
    {ImageKey::TopSpeedMmPerS, "top speed", 10, 5000},
    {ImageKey::AccelerationPerS, "acceleration", 1, 1024},
    {ImageKey::BrakingPerS, "braking", 1, 1024},
}};

const KeyRange *rangeOf(int key)
{
    for (const KeyRange &r : kRanges) {
        if (static_cast<int>(r.key) == key)
            return &r;
    }
    return nullptr;
}

void apply(std::optional<Duration> &interval, Physics &physics, ImageKey key, int value)
{
    switch (key) {
    case ImageKey::StatusIntervalMs:
        interval = Duration{value * 1000};
        break;
    case ImageKey::SectionLengthMm:
        physics.sectionLengthMm = value;
        break;
    case ImageKey::TopSpeedMmPerS:
        physics.topSpeedMmPerS = value;
        break;
    case ImageKey::AccelerationPerS:
        physics.accelerationPerS = value;
        break;
    case ImageKey::BrakingPerS:
        physics.brakingPerS = value;
        break;
    }
}

} // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

ImageInfo readImage(std::span<const std::uint8_t> image, std::optional<Duration> fixedInterval)
{
    ImageInfo info;
    if (fixedInterval)
        info.statusInterval = *fixedInterval;
    if (image.size() < kHeaderBytes ||
        std::string_view(reinterpret_cast<const char *>(image.data()), kMagic.size()) != kMagic)
        return info;
    info.hasHeader = true;
    info.version = image[8];
    if (info.version != kImageVersion) {
        info.notes.push_back("unknown image version " + std::to_string(info.version) +
                             ", parameters ignored");
        return info;
    }
    const std::size_t count = image[9];
    std::size_t at = kHeaderBytes;
    Physics physics;
    std::optional<Duration> interval;
    for (std::size_t k = 0; k < count; ++k, at += 3) {
        if (at + 3 > image.size()) {
            info.notes.push_back("parameter list cut short after " + std::to_string(k) + " of " +
                                 std::to_string(count));
            at = image.size();
            break;
        }
        const int key = image[at];
        const int value = image[at + 1] * 256 + image[at + 2];
        const KeyRange *r = rangeOf(key);
        if (r == nullptr) {
            info.notes.push_back("unknown parameter key " + std::to_string(key) + " ignored");
        } else if (value < r->lowest || value > r->highest) {
            info.notes.push_back(std::string(r->name) + " " + std::to_string(value) +
                                 " out of range " + std::to_string(r->lowest) + ".." +
                                 std::to_string(r->highest) + ", default kept");
        } else {
            apply(interval, physics, r->key, value);
        }
    }
    if (interval && fixedInterval)
        info.notes.push_back("status interval of the image overridden by the operator");
    else if (interval)
        info.statusInterval = *interval;
    if (stopsWithinOneSection(physics, worstReaction(info.statusInterval))) {
        info.physics = physics;
    } else {
        info.notes.push_back("physics refused: a train could overrun a section while the "
                             "console ramps it down; defaults kept");
    }
    info.title.assign(image.begin() + static_cast<std::ptrdiff_t>(at), image.end());
    return info;
}

std::vector<std::uint8_t> buildImage(std::span<const ImageParameter> params,
                                     const std::string &title)
{
    std::vector<std::uint8_t> image(kMagic.begin(), kMagic.end());
    image.push_back(kImageVersion);
    image.push_back(static_cast<std::uint8_t>(params.size()));
    for (const ImageParameter &p : params) {
        image.push_back(static_cast<std::uint8_t>(p.key));
        image.push_back(static_cast<std::uint8_t>(p.value >> 8));
        image.push_back(static_cast<std::uint8_t>(p.value & 0xFF));
    }
    image.insert(image.end(), title.begin(), title.end());
    return image;
}

} // namespace relm::sim
