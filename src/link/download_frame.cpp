#include "link/download_frame.h"

#include "model/core_text.h"

#include <algorithm>

namespace relm {
namespace {

// 19969 -> "19,969".
std::string groupedNumber(std::size_t value)
{
    std::string digits = std::to_string(value);
    for (auto i = static_cast<std::ptrdiff_t>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), 1, ',');
    return digits;
}

} // namespace

std::string imageRefusal(std::size_t length)
{
    // A larger frame would not fit the transmit buffer in one write.
    if (length <= kMaxImageBytes)
        return {};
    return fillIn(coreText("DownloadFrame",
                           "プログラムが大きすぎるため送信しません: %1 バイト (上限 %2 バイト)"),
                  {groupedNumber(length), groupedNumber(kMaxImageBytes)});
}

DownloadBuild buildDownloadFrame(std::span<const std::uint8_t> image)
{
    DownloadBuild build;
    const std::size_t length = image.size();
    build.refusal = imageRefusal(length);
    if (!build.refusal.empty())
        return build;

    build.accepted = true;
    build.frame.assign(length + kDownloadOverheadBytes, 0x00);
    // The length field counts the image and the one zero byte after it.
    const std::size_t counted = length + 1;
    build.frame[kDownloadLeadZeros] = 0xFF;
    build.frame[kDownloadLeadZeros + 1] = static_cast<std::uint8_t>(counted >> 8);
    build.frame[kDownloadLeadZeros + 2] = static_cast<std::uint8_t>(counted & 0xFF);
    std::copy(image.begin(), image.end(),
              build.frame.begin() + static_cast<std::ptrdiff_t>(kDownloadHeaderBytes));
    return build;
}

} // namespace relm
