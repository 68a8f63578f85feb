#pragma once

// Units and colours as the windows are laid out: positions in twips, colours as 0x00BBGGRR.

#include <QColor>
#include <QRect>

#include <cstdint>

namespace relm {

inline constexpr int kTwipsPerPixel = 15;

// Twips to device-independent pixels (15 twips per pixel); Qt scales for HiDPI.
constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }

QRect twipsRect(int left, int top, int width, int height);

// The system colour that stands for the button face.
inline constexpr std::uint32_t kButtonFaceColour = 0x8000000F;

// 0x00BBGGRR to QColor. System colours (high bit set) map to the application palette.
QColor toQColor(std::uint32_t bgr);

} // namespace relm
