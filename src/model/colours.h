#pragma once

// Colours as the windows store them: 0x00BBGGRR, or, with the high bit set, the index of a
// system colour that the window toolkit supplies.

#include <cstdint>

namespace relm {

inline constexpr std::uint32_t kSystemColourFlag = 0x80000000;
inline constexpr std::uint32_t kCaptionTextColour = 0x80000009;  // system colour 9
inline constexpr std::uint32_t kActiveBorderColour = 0x8000000A; // system colour 10
inline constexpr std::uint32_t kButtonFaceColour = 0x8000000F;   // system colour 15

// Light red of a pending Point or Reverse request: red 255, green 128, blue 128.
inline constexpr std::uint32_t kRequestColour = 0x8080FF;

} // namespace relm
