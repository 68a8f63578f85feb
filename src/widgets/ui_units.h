#pragma once

// Units and colours as the windows are laid out: positions in twips, colours as 0x00BBGGRR.

#include "model/colours.h"

#include <QColor>
#include <QRect>

#include <cstdint>

namespace relm {

inline constexpr int kTwipsPerPixel = 15;

// Twips to device-independent pixels (15 twips per pixel); Qt scales for HiDPI.
constexpr int twipsToPixels(int twips) { return twips / kTwipsPerPixel; }

QRect twipsRect(int left, int top, int width, int height);

// 0x00BBGGRR to QColor. The system colours the windows use (button face, active border, caption
// text) map to the application palette; any other system colour index is a programming error,
// asserted in debug builds and shown as the button face otherwise.
QColor toQColor(std::uint32_t bgr);

} // namespace relm
